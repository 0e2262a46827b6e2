#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "host/serve/domain_state.hpp"
#include "tests/host_serve/fake_mount.hpp"

namespace ostrel::host {
namespace {

namespace fs = std::filesystem;
using platform::fileprovider::Domain;

class DomainStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("serve-state-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path file() const { return dir_ / "state" / "domains.json"; }
  ServeSettings settings() const {
    return {.mountRoot = dir_ / "mnt", .stateFolder = dir_ / "state", .cacheFolder = dir_ / "cache"};
  }
  fs::path dir_;
};

TEST_F(DomainStateTest, RoundTripsInOrderAndLeavesNoTemporaryFile) {
  EXPECT_TRUE(loadDomains(file()).empty());
  std::vector<Domain> domains{{"z", "Zed \u00e9t\u00e9"}, {"a", "Ostrel"}, {"m", ""}};
  saveDomains(file(), domains);
  saveDomains(file(), domains);
  EXPECT_EQ(loadDomains(file()), domains);
  EXPECT_EQ(std::distance(fs::directory_iterator(file().parent_path()), fs::directory_iterator()), 1);
}

TEST_F(DomainStateTest, ADamagedFileIsAnErrorNotAnEmptyList) {
  for (const char* text : {"", "{", R"({"domains":{}})", R"({"domains":[{"identifier":1}]})"}) {
    SCOPED_TRACE(text);
    fs::create_directories(file().parent_path());
    std::ofstream(file()) << text;
    EXPECT_THROW(loadDomains(file()), std::runtime_error);
  }
}

TEST_F(DomainStateTest, ARestartMountsWhatWasRegisteredAndKeepsWhatFailed) {
  auto log = std::make_shared<testing::FakeMountLog>();
  {
    MountedDomains first(settings(), testing::fakeFactory(log));
    ASSERT_EQ(first.add({"ostrel", "Ostrel"}), std::nullopt);
    ASSERT_EQ(first.add({"b", "B"}), std::nullopt);
  }
  EXPECT_EQ(log->snapshot(), (std::vector<std::string>{"ostrel start", "b start", "ostrel stop", "b stop"}));

  log->calls.clear();
  log->startError = platform::fileprovider::Error::fileProvider(-1004);
  MountedDomains second(settings(), testing::fakeFactory(log));
  auto failures = second.restore();
  EXPECT_EQ(failures.size(), 2u);
  // Still registered: a passing cause must not cost the registration.
  EXPECT_EQ(second.domains(), (std::vector<Domain>{{"ostrel", "Ostrel"}, {"b", "B"}}));

  // Adding again retries the mount.
  log->startError.reset();
  EXPECT_EQ(second.add({"ostrel", "Ostrel"}), std::nullopt);
  EXPECT_EQ(second.signalEnumerator({"ostrel", ""}, "x"), std::nullopt);
  EXPECT_EQ(second.signalEnumerator({"b", ""}, "x")->code, EAGAIN);
}

TEST_F(DomainStateTest, PreservationFoldersNeverReuseAPath) {
  auto now = std::chrono::system_clock::now();
  fs::path first = preservationFolder(dir_ / "mnt" / "Ostrel", now);
  fs::create_directories(first);
  fs::path second = preservationFolder(dir_ / "mnt" / "Ostrel", now);
  EXPECT_NE(first, second);
  EXPECT_EQ(second.parent_path(), dir_ / "mnt");
  EXPECT_EQ(first.filename().string().find(':'), std::string::npos);
}

}  // namespace
}  // namespace ostrel::host
