// The vault in-process: its index and blobs on disk, what survives a
// reopening, and what a refused or interrupted store leaves behind.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "companion/vault.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel::companion {
namespace {

class VaultTest : public ::testing::Test {
 protected:
  std::filesystem::path folder() const { return dir.path().parent_path() / "vault"; }

  std::optional<FileRecord> store(Vault& vault, const NewFile& file, const std::string& bytes) {
    BlobWriter writer = vault.blobs().begin();
    writer.write(bytes);
    return vault.add(file, std::move(writer));
  }

  std::string contents(Vault& vault, const std::string& id) {
    std::ifstream in(vault.folder() / "blobs" / id, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
  }

  std::size_t entries(const std::filesystem::path& path) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path), {}));
  }

  testing::TempFile dir{"marker", ""};
};

TEST_F(VaultTest, RecordsIdsAndBytesSurviveReopening) {
  FileRecord stored;
  std::string vaultId;
  {
    Vault vault(folder());
    vaultId = vault.vaultId();
    auto record = store(vault, {.filename = "a.txt", .residency = Residency::cloudOnly, .folder = "x/y"}, "bytes");
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->materialized);
    EXPECT_EQ(record->size, 5);
    stored = *record;
  }
  Vault reopened(folder());
  EXPECT_EQ(reopened.vaultId(), vaultId);
  ASSERT_EQ(reopened.index().list(Residency::cloudOnly), std::vector<FileRecord>{stored});
  EXPECT_EQ(contents(reopened, stored.id), "bytes");
  EXPECT_TRUE(reopened.index().list(Residency::deviceOnly).empty());
}

TEST_F(VaultTest, ATakenNameIsRefusedAndLeavesNoBlob) {
  Vault vault(folder());
  NewFile file{.filename = "a.txt", .residency = Residency::deviceOnly, .folder = ""};
  auto first = store(vault, file, "one");
  ASSERT_TRUE(first);
  EXPECT_FALSE(store(vault, file, "two"));
  EXPECT_EQ(entries(folder() / "blobs"), 1u);
  EXPECT_EQ(entries(folder() / "tmp"), 0u);
  EXPECT_EQ(contents(vault, first->id), "one");

  // The same name elsewhere is a different file.
  EXPECT_TRUE(store(vault, {.filename = "a.txt", .residency = Residency::deviceOnly, .folder = "sub"}, "three"));
  EXPECT_TRUE(store(vault, {.filename = "a.txt", .residency = Residency::cloudOnly, .folder = ""}, "four"));
}

TEST_F(VaultTest, MovesKeepTheIdAndRefuseATakenName) {
  Vault vault(folder());
  auto local = store(vault, {.filename = "a.txt", .residency = Residency::deviceOnly}, "local");
  auto cloud = store(vault, {.filename = "a.txt", .residency = Residency::cloudOnly}, "cloud");
  auto other = store(vault, {.filename = "b.txt", .residency = Residency::deviceOnly}, "b");
  ASSERT_TRUE(local && cloud && other);

  EXPECT_EQ(vault.reparent(local->id, Residency::cloudOnly), Vault::Outcome::nameTaken);
  EXPECT_EQ(vault.reparent("missing", Residency::cloudOnly), Vault::Outcome::noSuchFile);
  EXPECT_EQ(vault.reparent(other->id, Residency::cloudOnly), Vault::Outcome::done);
  auto moved = vault.index().find(other->id);
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->residency, Residency::cloudOnly);
  EXPECT_FALSE(moved->materialized);
  EXPECT_EQ(vault.reparent(other->id, Residency::deviceAndCloud), Vault::Outcome::done);
  EXPECT_TRUE(vault.index().find(other->id)->materialized);
}

TEST_F(VaultTest, ContentChangesAndRemovalsReachTheBlob) {
  Vault vault(folder());
  auto record = store(vault, {.filename = "a.txt", .residency = Residency::deviceOnly}, "one");
  ASSERT_TRUE(record);
  BlobWriter writer = vault.blobs().begin();
  writer.write("longer");
  EXPECT_EQ(vault.replaceContent(record->id, std::move(writer)), Vault::Outcome::done);
  EXPECT_EQ(contents(vault, record->id), "longer");
  EXPECT_EQ(vault.index().find(record->id)->size, 6);

  EXPECT_EQ(vault.remove(record->id), Vault::Outcome::done);
  EXPECT_FALSE(vault.blobs().contains(record->id));
  EXPECT_EQ(vault.remove(record->id), Vault::Outcome::noSuchFile);
}

TEST_F(VaultTest, RecoveryDropsAbandonedWorkButNoIndexedBlob) {
  std::string kept;
  {
    Vault vault(folder());
    kept = store(vault, {.filename = "a.txt", .residency = Residency::deviceOnly}, "keep")->id;
    BlobWriter unfinished = vault.blobs().begin();
    unfinished.write("half");
    std::ofstream(folder() / "blobs" / "ORPHAN") << "no row";
    std::ofstream(folder() / "tmp" / "left.part") << "interrupted";
    vault.recover();
    EXPECT_EQ(entries(folder() / "tmp"), 0u);
  }
  EXPECT_TRUE(std::filesystem::exists(folder() / "blobs" / kept));
  EXPECT_FALSE(std::filesystem::exists(folder() / "blobs" / "ORPHAN"));
}

TEST(BlobNames, OnlyPlainIdsBecomeFileNames) {
  EXPECT_TRUE(isBlobName("0F8E2C4A-1B2C-4D5E-8F90-ABCDEF012345"));
  for (const char* bad : {"", "..", "a/b", "a.b", "../index.sqlite", "a b"}) EXPECT_FALSE(isBlobName(bad)) << bad;
}

}  // namespace
}  // namespace ostrel::companion
