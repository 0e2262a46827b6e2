#include "extension/items/folder_listing.hpp"

#include <gtest/gtest.h>

#include "extension/items/folder_item.hpp"
#include "extension/items/vault_file_item.hpp"

namespace ostrel {
namespace {

namespace fp = platform::fileprovider;

VaultFile file(std::string id, std::optional<std::string> folder) {
  return VaultFile{id, id + ".txt", 1, 1, "device-only", false, std::move(folder)};
}

std::vector<std::string> identifiers(const std::vector<fp::ItemPtr>& items) {
  std::vector<std::string> ids;
  for (const auto& item : items) ids.push_back(item->itemIdentifier());
  return ids;
}

using Ids = std::vector<std::string>;

struct ListingCase {
  const char* name;
  std::vector<VaultFile> files;
  std::string path;
  Ids expected;
};

class FolderListingTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(FolderListingTest, ListsSubFoldersThenFiles) {
  const ListingCase& c = GetParam();
  EXPECT_EQ(identifiers(folderListing(Residency::deviceOnly, c.path, c.files)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderListingTest,
    ::testing::Values(
        ListingCase{"TopOfResidency", {file("1", "a"), file("2", "a/b"), file("3", "c/d/e")}, "",
                    Ids{"dir:device-only/a", "dir:device-only/c"}},
        ListingCase{"InsideA", {file("1", "a"), file("2", "a/b"), file("3", "c/d/e")}, "a",
                    Ids{"dir:device-only/a/b", "1"}},
        ListingCase{"AbsentAndEmptyFolderAreTheTop", {file("1", std::nullopt), file("2", "")}, "", Ids{"1", "2"}},
        ListingCase{"FoldersSortedFilesInInputOrder",
                    {file("z", std::nullopt), file("m", "b"), file("a", std::nullopt), file("q", "B"), file("k", "a")},
                    "",
                    Ids{"dir:device-only/B", "dir:device-only/a", "dir:device-only/b", "z", "a"}},
        ListingCase{"FolderWithNothingBelowIsNotListed", {file("1", "a/b")}, "a/b/c", Ids{}},
        ListingCase{"HiddenNamesAreListed", {file(".h", ".git/x"), file(".k", std::nullopt)}, "",
                    Ids{"dir:device-only/.git", ".k"}},
        ListingCase{"FolderIsComparedExactly", {file("1", "a/"), file("2", "A"), file("3", "a")}, "a",
                    Ids{"3"}},
        ListingCase{"Empty", {}, "", Ids{}}),
    [](const ::testing::TestParamInfo<ListingCase>& param) { return std::string(param.param.name); });

TEST(FolderListing, ItemsAreOfTheirClassesAndKeepTheRecord) {
  VaultFile record = file("1", "a");
  auto items = folderListing(Residency::cloudOnly, "", {record, file("2", "a/b")});
  ASSERT_EQ(items.size(), 1u);
  auto folder = std::dynamic_pointer_cast<const FolderItem>(items[0]);
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->residency(), "cloud-only");
  EXPECT_EQ(folder->path(), "a");

  items = folderListing(Residency::cloudOnly, "a", {record});
  auto vaultFile = std::dynamic_pointer_cast<const VaultFileItem>(items.at(0));
  ASSERT_NE(vaultFile, nullptr);
  EXPECT_EQ(vaultFile->file(), record);
}

}  // namespace
}  // namespace ostrel
