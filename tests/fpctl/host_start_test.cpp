// The tool's start of a host when none answers: a host that gives up at
// once (the one before it still holds the single-server lock) is started
// again until one stays.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "fpctl/host_start.hpp"

namespace ostrel::fpctl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class HostStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ostrel-host-start-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A stand-in host: exits 75 until its `giveUps` launches are used up,
  // then listens at the socket for a few seconds.
  fs::path fakeHost(int giveUps) {
    fs::path script = dir_ / "fake-host";
    std::ofstream(script) << "#!/bin/sh\n"
                          << "n=$(cat '" << (dir_ / "launches").string() << "' 2>/dev/null || echo 0)\n"
                          << "n=$((n + 1)); echo $n > '" << (dir_ / "launches").string() << "'\n"
                          << "[ $n -le " << giveUps << " ] && exit 75\n"
                          << "exec python3 -c \"import socket, time; s = socket.socket(socket.AF_UNIX); "
                          << "s.bind('" << socket().string() << "'); s.listen(); time.sleep(3)\"\n";
    ::chmod(script.c_str(), 0755);
    return script;
  }
  fs::path socket() const { return dir_ / "host.sock"; }
  int launches() const {
    int n = 0;
    std::ifstream(dir_ / "launches") >> n;
    return n;
  }

  fs::path dir_;
};

TEST_F(HostStartTest, AHostThatGivesUpAtOnceIsStartedAgain) {
  auto start = hostStarter(fakeHost(2), socket(), dir_ / "host.log");
  EXPECT_TRUE(start(std::chrono::steady_clock::now() + 10s));
  EXPECT_EQ(launches(), 3);
}

TEST_F(HostStartTest, GivesUpAtTheDeadlineAndWithoutAHost) {
  auto never = hostStarter(fakeHost(1000), socket(), dir_ / "host.log", 800ms);
  auto began = std::chrono::steady_clock::now();
  EXPECT_FALSE(never(began + 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - began, 5s) << "its patience bounds it";
  EXPECT_GE(launches(), 2);

  EXPECT_FALSE(hostStarter(dir_ / "missing", socket(), dir_ / "host.log")(std::chrono::steady_clock::now() + 1s));
}

}  // namespace
}  // namespace ostrel::fpctl
