#include "extension/model/finder_folders.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

struct ParseCase {
  const char* identifier;
  std::optional<FolderRef> expected;
};

class FolderParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FolderParse, Parses) { EXPECT_EQ(FinderFolders::parse(GetParam().identifier), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderParse,
    ::testing::Values(ParseCase{"dir:device-only/a/b", FolderRef{"device-only", "a/b"}},
                      ParseCase{"dir:anything/a", FolderRef{"anything", "a"}},
                      ParseCase{"dir:cloud-only/...", FolderRef{"cloud-only", "..."}},
                      ParseCase{"dir:device-only", std::nullopt},
                      ParseCase{"dir:device-only/", std::nullopt},
                      ParseCase{"dir:/a", std::nullopt},
                      ParseCase{"dir:device-only//a", std::nullopt},
                      ParseCase{"dir:device-only/a/", std::nullopt},
                      ParseCase{"dir:device-only/./a", std::nullopt},
                      ParseCase{"dir:device-only/a/..", std::nullopt},
                      ParseCase{"Dir:device-only/a", std::nullopt},
                      ParseCase{"device-only", std::nullopt},
                      ParseCase{"", std::nullopt}));

TEST(FolderIdentifiers, RoundTripThroughParse) {
  for (const char* path : {"a", "a/b", "Photos/2024", ".config/x y"}) {
    auto id = FinderFolders::identifier("device-and-cloud", path);
    EXPECT_EQ(FinderFolders::parse(id), (FolderRef{"device-and-cloud", path})) << id;
  }
}

TEST(FolderIdentifiers, Parents) {
  EXPECT_EQ(FinderFolders::parentIdentifier("cloud-only", "a"), "cloud-only");
  EXPECT_EQ(FinderFolders::parentIdentifier("cloud-only", "a/b/c"), "dir:cloud-only/a/b");
  EXPECT_EQ(FinderFolders::fileParent("device-and-cloud", ""), "device-and-cloud");
  EXPECT_EQ(FinderFolders::fileParent("device-and-cloud", "x/y"), "dir:device-and-cloud/x/y");
  EXPECT_EQ(FinderFolders::join("", "n"), "n");
  EXPECT_EQ(FinderFolders::join("a/b", "n"), "a/b/n");
}

TEST(FolderNames, ValidAndHidden) {
  for (const char* bad : {"", ".", "..", "a/b"}) EXPECT_FALSE(FinderFolders::validName(bad)) << bad;
  for (const char* good : {"...", ".config", "x.", "with space"}) EXPECT_TRUE(FinderFolders::validName(good)) << good;
  EXPECT_TRUE(FinderFolders::isHidden(".config"));
  EXPECT_FALSE(FinderFolders::isHidden("x."));
  EXPECT_FALSE(FinderFolders::isHidden(""));
}

struct ChildCase {
  const char* name;
  const char* parent;
  std::vector<std::string_view> paths;
  std::vector<std::string> expected;
};

class ChildFolders : public ::testing::TestWithParam<ChildCase> {};

TEST_P(ChildFolders, ListsImmediateSubFolders) {
  EXPECT_EQ(FinderFolders::childFolders(GetParam().parent, GetParam().paths), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChildFolders,
    ::testing::Values(
        ChildCase{"emptyParent", "", {"a/b", "a", "c", "", "/d"}, {"a", "c", "d"}},
        ChildCase{"nested", "a", {"a/b/c", "a/b", "a", "ab/x", "a//z", "a/"}, {"a/b", "a/z"}},
        ChildCase{"noPaths", "a", {}, {}},
        ChildCase{"byteOrder", "", {"b", "B", "a", "b/x"}, {"B", "a", "b"}},
        ChildCase{"equivalentSpellingsAreOne", "", {"caf\u00E9", "cafe\u0301/x"}, {"cafe\u0301"}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(AnchorDigest, IsSha256OfTheText) {
  auto empty = FinderFolders::anchorDigest("");
  EXPECT_EQ(platform::hexEncode(empty), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(FinderFolders::anchorDigest("x"), FinderFolders::anchorDigest("x"));
  EXPECT_NE(FinderFolders::anchorDigest("x"), FinderFolders::anchorDigest("y"));
}

}  // namespace
}  // namespace ostrel
