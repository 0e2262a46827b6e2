// The bench sample: how it spreads files over folders and residencies, and
// that the same sample gives the same ids in any vault.

#include <gtest/gtest.h>

#include <set>

#include "companion/seed.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel::companion {
namespace {

std::vector<FileRecord> seeded(const std::filesystem::path& folder, const std::string& sample) {
  Vault vault(folder);
  EXPECT_TRUE(seedVault(vault, sample));
  return vault.index().all();
}

TEST(BenchSeed, SpreadsFilesOverFoldersWithStableIds) {
  testing::TempFile a{"marker", ""};
  testing::TempFile b{"marker", ""};
  auto files = seeded(a.path().parent_path() / "vault", "bench:10:4");
  ASSERT_EQ(files.size(), 10u);
  std::set<std::string> folders;
  std::set<std::string> ids;
  int deviceOnly = 0;
  for (const auto& file : files) {
    folders.insert(std::string(slug(file.residency)) + "/" + file.folder);
    ids.insert(file.id);
    if (file.residency == Residency::deviceOnly) ++deviceOnly;
    EXPECT_NE(file.residency, Residency::cloudOnly);
    EXPECT_EQ(file.size, 0);
    EXPECT_TRUE(std::filesystem::exists(a.path().parent_path() / "vault" / "blobs" / file.id)) << file.id;
  }
  EXPECT_EQ(folders.size(), 4u);
  EXPECT_EQ(ids.size(), 10u);
  EXPECT_EQ(deviceOnly, 5);  // the even folders: files 0, 2, 4, 6 and 8

  auto again = seeded(b.path().parent_path() / "vault", "bench:10:4");
  ASSERT_EQ(again.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(again[i].id, files[i].id);

  // A vault that holds files is left alone.
  EXPECT_EQ(seeded(a.path().parent_path() / "vault", "bench:50:5").size(), 10u);

  auto cloud = seeded(a.path().parent_path() / "cloud", "bench:3:3:cloud-only");
  ASSERT_EQ(cloud.size(), 3u);
  for (const auto& file : cloud) EXPECT_FALSE(file.materialized) << file.filename;
}

TEST(BenchSeed, MalformedSamplesAreRefused) {
  for (const char* bad : {"bench", "bench:10", "bench:0:1", "bench:10:0", "bench:10:11", "bench:10:2:nowhere",
                          "bench:10:2:cloud-only:x", "bench:1e3:1", "bench:-5:1", "demo2"}) {
    EXPECT_FALSE(isSampleName(bad)) << bad;
  }
  EXPECT_TRUE(isSampleName("demo"));
  EXPECT_TRUE(isSampleName("bench:100000:1000"));
}

}  // namespace
}  // namespace ostrel::companion
