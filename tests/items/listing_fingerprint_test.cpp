#include "extension/items/listing_fingerprint.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "platform/crypto.hpp"

namespace ostrel {
namespace {

VaultFile sample(std::string id = "f1") { return VaultFile{std::move(id), "a.txt", 5, 10, "cloud-only", false, "x"}; }

std::string textOf(Residency residency, const std::vector<VaultFile>& files) {
  ListingText text;
  text.add(residency, files);
  return text.text();
}

TEST(ListingText, WritesOneLinePerRecordThenTheResidency) {
  EXPECT_EQ(textOf(Residency::cloudOnly, {sample()}), "f1|a.txt|5|10.0|cloud-only|false|x\n--cloud-only");
  EXPECT_EQ(textOf(Residency::cloudOnly, {}), "--cloud-only");
  VaultFile top{"f2", "b|c", -1, 0.25, "odd-slug", true, std::nullopt};
  EXPECT_EQ(textOf(Residency::deviceOnly, {top}), "f2|b|c|-1|0.25|odd-slug|true|\n--device-only");
}

TEST(ListingText, JoinsResidenciesInTheOrderAdded) {
  ListingText text;
  text.add(Residency::deviceOnly, {});
  text.add(Residency::deviceAndCloud, {});
  EXPECT_EQ(text.text(), "--device-only\n--device-and-cloud");
  auto digest = platform::sha256("--device-only\n--device-and-cloud");
  EXPECT_EQ(text.digest(), std::string(digest.begin(), digest.end()));
  EXPECT_EQ(text.digest().size(), 32u);
}

TEST(ListingText, SortsByIdStablyWhateverTheBridgeOrder) {
  VaultFile b = sample("b"), a = sample("a"), upper = sample("B");
  EXPECT_EQ(textOf(Residency::cloudOnly, {b, a, upper}), textOf(Residency::cloudOnly, {upper, a, b}));
  EXPECT_EQ(textOf(Residency::cloudOnly, {b, a, upper}).substr(0, 2), "B|");

  // Equal ids keep the bridge's order: the text tells the two apart.
  VaultFile first = sample("same"), second = sample("same");
  second.filename = "second.txt";
  EXPECT_NE(textOf(Residency::cloudOnly, {first, second}), textOf(Residency::cloudOnly, {second, first}));
}

TEST(ListingText, SortsCanonicallyEquivalentIdsTogether) {
  // "e" + combining acute composes to U+00E9, which sorts after "f".
  VaultFile decomposed = sample("e\xCC\x81"), f = sample("f");
  EXPECT_EQ(textOf(Residency::cloudOnly, {decomposed, f}).substr(0, 2), "f|");
}

struct Mutation {
  const char* name;
  std::function<void(VaultFile&)> apply;
};

class FingerprintChangeTest : public ::testing::TestWithParam<Mutation> {};

TEST_P(FingerprintChangeTest, AnyFieldChangesTheDigest) {
  std::vector<VaultFile> files{sample("a"), sample("b")};
  ListingText before;
  before.add(Residency::cloudOnly, files);
  GetParam().apply(files[1]);
  ListingText after;
  after.add(Residency::cloudOnly, files);
  EXPECT_NE(before.digest(), after.digest());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FingerprintChangeTest,
    ::testing::Values(Mutation{"Id", [](VaultFile& f) { f.id = "c"; }},
                      Mutation{"Filename", [](VaultFile& f) { f.filename = "b.txt"; }},
                      Mutation{"Size", [](VaultFile& f) { f.size = 6; }},
                      Mutation{"Time", [](VaultFile& f) { f.modifiedAt = 10.000001; }},
                      Mutation{"Slug", [](VaultFile& f) { f.residency = "device-only"; }},
                      Mutation{"Downloaded", [](VaultFile& f) { f.materialized = true; }},
                      Mutation{"Folder", [](VaultFile& f) { f.folder = "x/y"; }},
                      Mutation{"FolderRemoved", [](VaultFile& f) { f.folder.reset(); }}),
    [](const ::testing::TestParamInfo<Mutation>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace ostrel
