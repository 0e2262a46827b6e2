// The pending area on disk: what a restarted host finds there is what the
// user dropped, whatever state the last host left it in.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "host/serve/pending_store.hpp"
#include "host/serve/status_report.hpp"
#include "host/serve/domain_state.hpp"

namespace ostrel::host {
namespace {

namespace fs = std::filesystem;

class PendingStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ostrel-pending-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path root_;
};

TEST_F(PendingStoreTest, RecordsComeBackAsWrittenAndRemovalTakesTheBytesToo) {
  PendingStore store(root_ / "pending");
  struct stat st {};
  ASSERT_EQ(::stat((root_ / "pending").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  LocalFileRecord file{.key = "K1", .parent = "dir:device-only/Projects", .name = "“odd” name.txt",
                       .state = LocalState::excluded, .error = "Could not add it.", .mode = 0640};
  std::ofstream(store.dataPath("K1")) << "bytes";
  store.save(file);
  file.state = LocalState::uploading;  // a second save replaces the first
  store.save(file);
  store.save(LocalFolderRecord{.key = "F1", .identifier = "dir:cloud-only/New", .parent = "cloud-only", .name = "New"});

  auto files = store.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].name, file.name);
  EXPECT_EQ(files[0].parent, file.parent);
  EXPECT_EQ(files[0].state, LocalState::uploading);
  EXPECT_EQ(files[0].error, file.error);
  EXPECT_EQ(files[0].mode, 0640u);
  auto folders = store.folders();
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0].identifier, "dir:cloud-only/New");

  store.remove("K1");
  EXPECT_TRUE(store.files().empty());
  EXPECT_FALSE(fs::exists(store.dataPath("K1")));
  EXPECT_EQ(store.folders().size(), 1u);
}

TEST_F(PendingStoreTest, ADamagedRecordIsSkippedAndKept) {
  PendingStore store(root_ / "pending");
  store.save(LocalFileRecord{.key = "good", .parent = "device-only", .name = "a.txt"});
  for (const char* text : {"{not json", "{\"kind\":\"file\",\"name\":\"no parent\"}", "[1,2]",
                           "{\"kind\":\"file\",\"parent\":\"p\",\"name\":\"n\",\"state\":\"bogus\"}"}) {
    static int n = 0;
    std::ofstream(root_ / "pending" / ("bad" + std::to_string(n++) + ".json")) << text;
  }
  auto files = store.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].name, "a.txt");
  EXPECT_TRUE(fs::exists(root_ / "pending" / "bad0.json")) << "a record the host cannot read is never removed";
}

TEST_F(PendingStoreTest, StatusListsPendingAndExcludedFilesOfEveryDomain) {
  saveDomains(root_ / "domains.json", {{.identifier = "ostrel", .displayName = "Ostrel"}});
  PendingStore store(pendingFolder(root_ / "ostrel"));
  store.save(LocalFileRecord{.key = "a", .parent = "dir:device-and-cloud/Photos/2024", .name = "p.jpg",
                             .state = LocalState::pending});
  store.save(LocalFileRecord{.key = "b", .parent = "cloud-only", .name = "x.bin", .state = LocalState::excluded,
                             .error = "refused"});
  auto report = statusReport(root_);
  EXPECT_NE(report.find(R"("pending":[{"path":"Device + Cloud/Photos/2024/p.jpg","state":"pending"}])"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find(R"("excluded":[{"error":"refused","path":"Cloud only/x.bin","state":"excluded"}])"),
            std::string::npos)
      << report;
}

}  // namespace
}  // namespace ostrel::host
