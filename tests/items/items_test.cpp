#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "extension/items/folder_item.hpp"
#include "extension/items/residency_folder_item.hpp"
#include "extension/items/root_item.hpp"
#include "extension/items/vault_file_item.hpp"

namespace ostrel {
namespace {

namespace fp = platform::fileprovider;

VaultFile record(std::optional<std::string> folder, std::string filename = "report.pdf") {
  return VaultFile{"f-1", std::move(filename), 12, 3.5, "device-and-cloud", true, std::move(folder)};
}

struct ItemCase {
  const char* name;
  std::function<fp::ItemPtr()> make;
  std::string identifier;
  std::string parent;
  std::string filename;
  std::string contentType;
  std::uint64_t capabilities = 0;
  std::string version;
};

class ItemTest : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ItemTest, AnswersItsProperties) {
  const ItemCase& c = GetParam();
  fp::ItemPtr item = c.make();
  EXPECT_EQ(item->itemIdentifier(), c.identifier);
  EXPECT_EQ(item->parentItemIdentifier(), c.parent);
  EXPECT_EQ(item->filename(), c.filename);
  EXPECT_EQ(item->contentType(), c.contentType);
  ASSERT_TRUE(item->capabilities().has_value());
  EXPECT_EQ(item->capabilities()->raw(), c.capabilities);
  EXPECT_EQ(item->itemVersion(), (fp::ItemVersion{c.version, c.version}));
}

template <class T, class... Args>
std::function<fp::ItemPtr()> maker(Args... args) {
  return [=] { return std::make_shared<T>(args...); };
}

const std::string root = "NSFileProviderRootContainerItemIdentifier";

INSTANTIATE_TEST_SUITE_P(
    Classes, ItemTest,
    ::testing::Values(
        ItemCase{"Root", maker<RootItem>(), root, root, "Ostrel", "inode/directory", 1, "1"},
        ItemCase{"DeviceOnly", maker<ResidencyFolderItem>(Residency(Residency::deviceOnly)), "device-only", root,
                 "Device only", "inode/directory", 3, "1"},
        ItemCase{"DeviceAndCloud", maker<ResidencyFolderItem>(Residency(Residency::deviceAndCloud)),
                 "device-and-cloud", root, "Device + Cloud", "inode/directory", 3, "1"},
        ItemCase{"CloudOnly", maker<ResidencyFolderItem>(Residency(Residency::cloudOnly)), "cloud-only", root,
                 "Cloud only", "inode/directory", 3, "1"},
        ItemCase{"DeepFolder", maker<FolderItem>(std::string("cloud-only"), std::string("a/b/c")),
                 "dir:cloud-only/a/b/c", "dir:cloud-only/a/b", "c", "inode/directory", 3, "a/b/c"},
        ItemCase{"TopFolder", maker<FolderItem>(std::string("cloud-only"), std::string("Projects")),
                 "dir:cloud-only/Projects", "cloud-only", "Projects", "inode/directory", 3, "Projects"},
        ItemCase{"FileAtTop", maker<VaultFileItem>(record(std::nullopt)), "f-1", "device-and-cloud", "report.pdf",
                 "application/pdf", 5, "12-3.5"},
        ItemCase{"FileInEmptyFolder", maker<VaultFileItem>(record("")), "f-1", "device-and-cloud", "report.pdf",
                 "application/pdf", 5, "12-3.5"},
        ItemCase{"FileDeep", maker<VaultFileItem>(record("x/y")), "f-1", "dir:device-and-cloud/x/y", "report.pdf",
                 "application/pdf", 5, "12-3.5"},
        ItemCase{"FileWithoutExtension", maker<VaultFileItem>(record(std::nullopt, "README")), "f-1",
                 "device-and-cloud", "README", "application/octet-stream", 5, "12-3.5"},
        ItemCase{"FileOfUnknownExtension", maker<VaultFileItem>(record(std::nullopt, "data.zz-unknown")), "f-1",
                 "device-and-cloud", "data.zz-unknown", "application/octet-stream", 5, "12-3.5"},
        ItemCase{"FileUpperCaseExtension", maker<VaultFileItem>(record(std::nullopt, "photo.PNG")), "f-1",
                 "device-and-cloud", "photo.PNG", "image/png", 5, "12-3.5"}),
    [](const ::testing::TestParamInfo<ItemCase>& param) { return std::string(param.param.name); });

TEST(VaultFileItem, AnswersTheFilePropertiesFromItsRecord) {
  VaultFileItem item(VaultFile{"id", "a.txt", 0, 0, "cloud-only", false, std::nullopt});
  EXPECT_EQ(item.documentSize(), 0);
  EXPECT_EQ(item.contentModificationDate(), fp::Date{0});
  EXPECT_EQ(item.isDownloaded(), false);
  EXPECT_EQ(item.isMostRecentVersionDownloaded(), false);
  EXPECT_EQ(item.itemVersion()->contentVersion, "0-0.0");

  VaultFileItem later(VaultFile{"id", "a.txt", 7, 1712345678.5, "cloud-only", true, std::nullopt});
  EXPECT_EQ(later.contentModificationDate(), fp::Date{1712345678.5});
  EXPECT_EQ(later.isDownloaded(), true);
  EXPECT_EQ(later.itemVersion()->contentVersion, "7-1712345678.5");
}

TEST(Items, FoldersAnswerNoFileProperties) {
  for (fp::ItemPtr item : {fp::ItemPtr(std::make_shared<RootItem>()),
                           fp::ItemPtr(std::make_shared<FolderItem>("device-only", "a"))}) {
    EXPECT_EQ(item->documentSize(), std::nullopt);
    EXPECT_EQ(item->contentModificationDate(), std::nullopt);
    EXPECT_EQ(item->isDownloaded(), std::nullopt);
  }
}

TEST(PathExtension, IsTheTextAfterTheLastDotOfTheLastComponent) {
  EXPECT_EQ(pathExtension("a.tar.gz"), "gz");
  EXPECT_EQ(pathExtension("noext"), "");
  EXPECT_EQ(pathExtension("x."), "");
  EXPECT_EQ(pathExtension("dir.d/file"), "");
  EXPECT_EQ(pathExtension("dir/file.txt/"), "txt");
}

}  // namespace
}  // namespace ostrel
