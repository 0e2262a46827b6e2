// The built `ostrel-fphost serve` as a process: one per user, gone cleanly
// on SIGTERM. No domain is registered, so nothing is mounted.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

pid_t spawnServe(const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args{OSTREL_FPHOST_PATH, "serve"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

int waitExit(pid_t pid, std::chrono::seconds patience = std::chrono::seconds(10)) {
  auto until = std::chrono::steady_clock::now() + patience;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ServeBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("serve-bin-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const char* var : {"XDG_RUNTIME_DIR", "XDG_STATE_HOME", "XDG_CACHE_HOME", "HOME"}) {
      ::setenv(var, (dir_ / var).c_str(), 1);
    }
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path socket() const { return dir_ / "XDG_RUNTIME_DIR" / "ostrel" / "fphost.sock"; }

  bool awaitSocket() {
    for (int i = 0; i < 250 && !fs::exists(fs::symlink_status(socket())); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fs::exists(fs::symlink_status(socket()));
  }
  fs::path dir_;
};

TEST_F(ServeBinary, ASecondServeIsRefusedAndSigtermStopsTheFirstCleanly) {
  pid_t first = spawnServe({"--mount-root", (dir_ / "mnt").string()});
  ASSERT_TRUE(awaitSocket());
  EXPECT_EQ(waitExit(spawnServe()), 75);
  ASSERT_EQ(::kill(first, SIGTERM), 0);
  EXPECT_EQ(waitExit(first), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(socket())));
}

TEST_F(ServeBinary, BadOptionsAreAUsageError) {
  EXPECT_EQ(waitExit(spawnServe({"--change-interval", "0"})), 64);
  EXPECT_EQ(waitExit(spawnServe({"--bogus"})), 64);
}

}  // namespace
