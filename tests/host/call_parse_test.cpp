#include <gtest/gtest.h>

#include "host/call/call.hpp"

namespace ostrel::host::call {
namespace {

std::vector<std::string> words(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

struct Misuse {
  std::string name{};
  std::vector<std::string> words{};
};

std::ostream& operator<<(std::ostream& out, const Misuse& c) { return out << c.name; }

class CallUsage : public ::testing::TestWithParam<Misuse> {};

TEST_P(CallUsage, IsAUsageError) { EXPECT_THROW(parseCall(GetParam().words), UsageError); }

INSTANTIATE_TEST_SUITE_P(
    Cases, CallUsage,
    ::testing::Values(Misuse{"nothing", {}}, Misuse{"unknownOperation", words({"rename", "a"})},
                      Misuse{"itemWithoutId", words({"item"})}, Misuse{"itemWithTwoIds", words({"item", "a", "b"})},
                      Misuse{"listWithOption", words({"list", "cloud-only", "--folder"})},
                      Misuse{"changesWithoutAnchor", words({"changes", "cloud-only"})},
                      Misuse{"oddHexAnchor", words({"changes", "cloud-only", "abc"})},
                      Misuse{"nonHexAnchor", words({"changes", "cloud-only", "zz"})},
                      Misuse{"createWithoutName", words({"create", "device-only"})},
                      Misuse{"folderAndType", words({"create", "p", "n", "--folder", "--content-type", "text/plain"})},
                      Misuse{"contentsWithoutValue", words({"create", "p", "n", "--contents"})},
                      Misuse{"repeatedOption", words({"create", "p", "n", "--contents", "a", "--contents", "b"})},
                      Misuse{"unknownOption", words({"create", "p", "n", "--force"})},
                      Misuse{"modifyWithoutChanged", words({"modify", "f1", "p", "n"})},
                      Misuse{"unknownField", words({"modify", "f1", "p", "n", "--changed", "filename,colour"})},
                      Misuse{"emptyField", words({"modify", "f1", "p", "n", "--changed", "filename,"})}),
    [](const auto& param) { return param.param.name; });

TEST(CallParse, CreateTakesOptionsInAnyOrderAndBothSpellings) {
  auto call = std::get<CreateCall>(parseCall(words({"create", "--contents=/tmp/x", "dir:cloud-only/a", "b.txt",
                                                    "--content-type", "text/plain"})));
  EXPECT_EQ(call.parent, "dir:cloud-only/a");
  EXPECT_EQ(call.filename, "b.txt");
  EXPECT_EQ(call.contentType, "text/plain");
  EXPECT_EQ(call.contents, std::filesystem::path("/tmp/x"));

  auto folder = std::get<CreateCall>(parseCall(words({"create", "device-only", "Notes", "--folder"})));
  EXPECT_EQ(folder.contentType, "inode/directory");
  EXPECT_FALSE(folder.contents);

  auto bare = std::get<CreateCall>(parseCall(words({"create", "device-only", "--", "--odd name"})));
  EXPECT_EQ(bare.filename, "--odd name");
  EXPECT_FALSE(bare.contentType);
}

TEST(CallParse, ModifyCollectsFieldBits) {
  auto call = std::get<ModifyCall>(
      parseCall(words({"modify", "f1", "cloud-only", "a.txt", "--changed", "parentItemIdentifier,filename"})));
  EXPECT_EQ(call.changedFields, (1u << 2) | (1u << 1));
  EXPECT_EQ(itemFieldBit("typeAndCreator"), 1u << 10);
}

TEST(CallParse, ChangesDecodesTheAnchor) {
  auto call = std::get<ChangesCall>(parseCall(words({"changes", "root", "726F6f742f7632"})));
  EXPECT_EQ(call.anchor, "root/v2");
  EXPECT_EQ(toHex(std::string("\x00\xff/", 3)), "00ff2f");
}

struct Split {
  std::string line{};
  std::vector<std::string> words{};
};

class LineWords : public ::testing::TestWithParam<Split> {};

TEST_P(LineWords, SplitLikeAShell) { EXPECT_EQ(splitWords(GetParam().line), GetParam().words); }

INSTANTIATE_TEST_SUITE_P(
    Cases, LineWords,
    ::testing::Values(Split{"  item   f1  ", {"item", "f1"}},
                      Split{R"(create device-only "My file.txt")", {"create", "device-only", "My file.txt"}},
                      Split{R"(create device-only 'it''s "x"')", {"create", "device-only", "its \"x\""}},
                      Split{R"(create device-only a\ b)", {"create", "device-only", "a b"}},
                      Split{R"(changes x "")", {"changes", "x", ""}}, Split{"", {}}));

TEST(LineWords, UnclosedQuoteIsAUsageError) {
  EXPECT_THROW(splitWords("item \"f1"), UsageError);
  EXPECT_THROW(splitWords("item f1\\"), UsageError);
}

}  // namespace
}  // namespace ostrel::host::call
