#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fpctl/location.hpp"

namespace ostrel::fpctl {
namespace {

namespace fs = std::filesystem;

const std::string kDiskImage =
    "Ostrel is running from the disk image. Drag Ostrel to your Applications folder and open it "
    "from there.";

std::string elsewhere(const std::string& folder) {
  return "Ostrel must be in your Applications folder for the Ostrel folder in Finder to work. It "
         "is currently in " +
         folder + ".";
}

struct LocationCase {
  std::string name;
  std::string location;
  LocationVerdict expected;
};

void PrintTo(const LocationCase& c, std::ostream* os) { *os << c.name; }

class JudgeLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(JudgeLocation, Verdict) {
  // The home as given and as resolved, as locationCheck passes them.
  EXPECT_EQ(judgeLocation(GetParam().location, {"/home/u/", "/data/u"}), GetParam().expected);
}

const LocationVerdict kEligible{true, std::nullopt};

INSTANTIATE_TEST_SUITE_P(
    Cases, JudgeLocation,
    ::testing::Values(
        LocationCase{"SystemApplications", "/Applications/Ostrel.app", kEligible},
        LocationCase{"SubFolderOfApplications", "/Applications/Tools/Ostrel.app", kEligible},
        LocationCase{"UserApplications", "/home/u/Applications/Ostrel.app", kEligible},
        LocationCase{"UserApplicationsThroughResolvedHome", "/data/u/Applications/Ostrel.app",
                     kEligible},
        LocationCase{"DiskImage", "/Volumes/Ostrel/Ostrel.app", {false, kDiskImage}},
        LocationCase{"Downloads", "/home/u/Downloads/Ostrel.app",
                     {false, elsewhere("/home/u/Downloads")}},
        LocationCase{"LookalikeFolder", "/ApplicationsOld/Ostrel.app", {false, elsewhere("/ApplicationsOld")}},
        LocationCase{"LowerCase", "/applications/Ostrel.app", {false, elsewhere("/applications")}},
        LocationCase{"ApplicationsItself", "/Applications", {false, elsewhere("/")}},
        LocationCase{"OtherUsersApplications", "/home/v/Applications/Ostrel.app",
                     {false, elsewhere("/home/v/Applications")}}),
    [](const auto& test) { return test.param.name; });

class BundlePath : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("fpctl-bundle-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    root_ = fs::canonical(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path tool(const fs::path& bundle) {
    fs::path exe = bundle / "Contents" / "MacOS" / "ostrel-fpctl";
    fs::create_directories(exe.parent_path());
    std::ofstream(exe).put('x');
    return exe;
  }

  fs::path root_;
};

TEST_F(BundlePath, IsTheNearestAppFolderElseTheToolsFolder) {
  fs::path inner = root_ / "Outer.app" / "Contents" / "Inner.app";
  EXPECT_EQ(bundlePathOf(tool(inner)), inner);
  fs::create_directories(root_ / "bin");
  std::ofstream(root_ / "bin" / "ostrel-fpctl").put('x');
  EXPECT_EQ(bundlePathOf(root_ / "bin" / "ostrel-fpctl"), root_ / "bin");
}

TEST_F(BundlePath, IsJudgedByTheLinksTarget) {
  fs::path real = root_ / "Downloads" / "Ostrel.app";
  fs::path exe = tool(real);
  fs::create_directories(root_ / "Applications");
  fs::create_directory_symlink(real, root_ / "Applications" / "Ostrel.app");

  fs::path viaLink = root_ / "Applications" / "Ostrel.app" / "Contents" / "MacOS" / "ostrel-fpctl";
  fs::path bundle = bundlePathOf(viaLink);
  EXPECT_EQ(bundle, real);
  EXPECT_EQ(judgeLocation(bundle.string(), {root_.string()}),
            (LocationVerdict{false, elsewhere((root_ / "Downloads").string())}));

  // And the other way round: a link elsewhere to a bundle in Applications.
  fs::path installed = root_ / "Applications" / "Real.app";
  tool(installed);
  fs::create_directory_symlink(installed, root_ / "Downloads" / "Link.app");
  bundle = bundlePathOf(root_ / "Downloads" / "Link.app" / "Contents" / "MacOS" / "ostrel-fpctl");
  EXPECT_EQ(bundle, installed);
  EXPECT_TRUE(judgeLocation(bundle.string(), {root_.string()}).eligible);
}

}  // namespace
}  // namespace ostrel::fpctl
