// ostrel-fpctl starts the host lying beside it when none answers.

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e_support.hpp"

namespace {

namespace fs = std::filesystem;

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

TEST(FpctlAutostart, StartsTheSiblingHostAndCarriesOn) {
  fs::path dir = fs::temp_directory_path() / ("fpctl-autostart-" + std::to_string(::getpid()));
  fs::path bundle = ostrel::testing::isolatedInstall(dir, OSTREL_FPCTL_PATH, OSTREL_FPHOST_PATH);
  fs::path socket = dir / "XDG_RUNTIME_DIR" / "ostrel" / "fphost.sock";

  auto started = std::chrono::steady_clock::now();
  auto status = nlohmann::json::parse(run((bundle / "ostrel-fpctl").string() + " status"));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(status["ok"], true) << status;
  EXPECT_EQ(status["eligible"], true) << status;
  EXPECT_EQ(status["registered"], false);

  pid_t host = ostrel::testing::listenerOf(socket);
  ASSERT_GT(host, 0) << "no host is listening; its log:\n"
                     << run("cat '" + (dir / "XDG_STATE_HOME" / "ostrel" / "fphost.log").string() + "'");
  ASSERT_EQ(::kill(host, SIGTERM), 0);
  for (int i = 0; i < 250 && fs::exists(fs::symlink_status(socket)); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));
  fs::remove_all(dir);
}

}  // namespace
