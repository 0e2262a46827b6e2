// The real binaries together: the reference companion app with its demo
// vault, the host started by the tool, and the tool's every command.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e_support.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace ostrel::testing;
using json = nlohmann::json;

json fpctl(const fs::path& tool, const std::string& words) {
  std::string out;
  FILE* pipe = ::popen((tool.string() + " " + words).c_str(), "r");
  char buffer[4096];
  size_t n;
  while (pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  if (pipe != nullptr) ::pclose(pipe);
  return json::parse(out, nullptr, false);
}

class ServeEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "/dev/fuse is missing or not usable here";
    dir_ = fs::temp_directory_path() / ("serve-e2e-" + std::to_string(::getpid()));
    tool_ = isolatedInstall(dir_, OSTREL_FPCTL_PATH, OSTREL_FPHOST_PATH) / "ostrel-fpctl";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir_ / "companion.out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = OSTREL_COMPANION_PATH;
    char seed[] = "--seed", demo[] = "demo";
    char* argv[] = {program.data(), seed, demo, nullptr};
    ASSERT_EQ(::posix_spawn(&companion_, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_TRUE(eventually([&] {
      std::ifstream out(dir_ / "companion.out");
      std::stringstream text;
      text << out.rdbuf();
      return text.str().find("ready port=") != std::string::npos;
    }));
  }

  void TearDown() override {
    if (dir_.empty()) return;
    if (pid_t host = listenerOf(socket()); host > 0) {
      ::kill(host, SIGTERM);
      eventually([&] { return !fs::exists(fs::symlink_status(socket())); });
    }
    if (companion_ > 0) {
      ::kill(companion_, SIGTERM);
      ::waitpid(companion_, nullptr, 0);
    }
    if (mounted(mountPoint())) std::system(("fusermount3 -uz '" + mountPoint().string() + "'").c_str());
    fs::remove_all(dir_);
  }

  fs::path socket() const { return dir_ / "XDG_RUNTIME_DIR" / "ostrel" / "fphost.sock"; }
  fs::path mountPoint() const { return dir_ / "CloudStorage" / "Ostrel"; }

  fs::path dir_;
  fs::path tool_;
  pid_t companion_ = -1;
};

TEST_F(ServeEndToEnd, RegisterShowsTheVaultAndUnregisterKeepsWhatWasDownloaded) {
  json registered = fpctl(tool_, "register");
  ASSERT_EQ(registered["ok"], true) << registered;
  ASSERT_TRUE(eventually([&] { return mounted(mountPoint()); }));

  fs::path welcome = mountPoint() / "Device only" / "Welcome.txt";
  std::string first;
  {
    std::ifstream file(welcome);
    std::getline(file, first);
  }
  EXPECT_EQ(first, "Welcome to your Ostrel vault.");

  json status = fpctl(tool_, "status");
  EXPECT_EQ(status["registered"], true) << status;
  EXPECT_EQ(status["domains"], json::array({"ostrel"}));
  json signalled = fpctl(tool_, "signal");
  EXPECT_EQ(signalled["ok"], true) << signalled;
  EXPECT_EQ(signalled["failed"], json::object());

  json removed = fpctl(tool_, "unregister");
  ASSERT_EQ(removed["ok"], true) << removed;
  ASSERT_EQ(removed["preservedAt"].size(), 1u) << removed;
  fs::path kept = removed["preservedAt"][0].get<std::string>();
  EXPECT_TRUE(fs::exists(kept / "Device only" / "Welcome.txt")) << kept;
  EXPECT_FALSE(mounted(mountPoint()));
  EXPECT_EQ(fpctl(tool_, "status")["registered"], false);
}

TEST_F(ServeEndToEnd, ARestartedHostMountsTheRegisteredDomainAgain) {
  ASSERT_EQ(fpctl(tool_, "register")["ok"], true);
  ASSERT_TRUE(eventually([&] { return mounted(mountPoint()); }));
  pid_t host = listenerOf(socket());
  ASSERT_GT(host, 0);
  ::kill(host, SIGTERM);
  ASSERT_TRUE(eventually([&] { return !mounted(mountPoint()) && !fs::exists(fs::symlink_status(socket())); }));
  // The old host keeps its single-server lock until it has exited.
  ASSERT_TRUE(eventually([&] { return exited(host); }));

  // Any command starts the host again, and it remounts what it kept.
  EXPECT_EQ(fpctl(tool_, "status")["registered"], true);
  EXPECT_TRUE(eventually([&] { return mounted(mountPoint()); }));
}

}  // namespace
