#include "platform/fileprovider/content_type.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace ostrel::platform::fileprovider {
namespace {

// A small database in the shape update-mime-database writes.
class MimeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("ostrel-mime-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "globs2") << "# generated\n"
                                         "80:text/x-low:*.dup\n"
                                         "90:text/x-high:*.dup\n"
                                         "50:text/x-first:*.tie\n"
                                         "50:text/x-second:*.tie\n"
                                         "50:application/x-compressed-tar:*.tar.gz\n"
                                         "50:application/gzip:*.gz\n"
                                         "50:text/x-c++src:*.C:cs\n"
                                         "50:text/x-csrc:*.c\n"
                                         "50:inode/x-special:*.node\n"
                                         "50:text/x-makefile:Makefile\n"
                                         "50:text/x-star:*.[ch]pp\n"
                                         "not a line\n";
    std::ofstream(folder_ / "subclasses") << "inode/mount-point inode/directory\n"
                                             "text/x-csrc text/plain\n"
                                             "text/x-c++src text/x-csrc\n";
    std::ofstream(folder_ / "aliases") << "text/x-c text/x-csrc\n";
    db_ = MimeDatabase::load(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path folder_;
  MimeDatabase db_;
};

TEST_F(MimeFixture, ExtensionLookupFollowsWeightThenFileOrder) {
  EXPECT_EQ(db_.typeForExtension("dup"), "text/x-high");
  EXPECT_EQ(db_.typeForExtension("tie"), "text/x-first");
}

TEST_F(MimeFixture, ExtensionLookupIgnoresCaseUnlessTheGlobIsCaseSensitive) {
  EXPECT_EQ(db_.typeForExtension("GZ"), "application/gzip");
  EXPECT_EQ(db_.typeForExtension("C"), "text/x-c++src");
  EXPECT_EQ(db_.typeForExtension("c"), "text/x-csrc");
}

TEST_F(MimeFixture, OnlyPlainDataExtensionsAreKnown) {
  EXPECT_EQ(db_.typeForExtension(""), std::nullopt);
  EXPECT_EQ(db_.typeForExtension("tar.gz"), std::nullopt);  // a path extension never holds "."
  EXPECT_EQ(db_.typeForExtension("node"), std::nullopt);    // not data
  EXPECT_EQ(db_.typeForExtension("Makefile"), std::nullopt);
  EXPECT_EQ(db_.typeForExtension("cpp"), std::nullopt);     // a pattern, not an extension
  EXPECT_EQ(db_.typeForExtension("nothing"), std::nullopt);
}

TEST_F(MimeFixture, ConformanceFollowsSubclassesAndAliases) {
  EXPECT_TRUE(db_.conforms("inode/mount-point", contentType::folder));
  EXPECT_TRUE(db_.conforms(contentType::folder, contentType::folder));
  EXPECT_FALSE(db_.conforms(contentType::folder, contentType::data));
  EXPECT_FALSE(db_.conforms("text/plain", contentType::folder));
  EXPECT_TRUE(db_.conforms("text/x-c++src", "text/plain"));
  EXPECT_TRUE(db_.conforms("text/x-c", "text/plain"));
  EXPECT_TRUE(db_.conforms("text/x-whatever", contentType::data));
  EXPECT_FALSE(db_.conforms("text/plain", "text/x-csrc"));
}

TEST(SystemMimeDatabase, KnowsCommonExtensions) {
  EXPECT_EQ(typeForExtension("pdf"), "application/pdf");
  EXPECT_EQ(typeForExtension("PNG"), "image/png");
  EXPECT_TRUE(conforms("inode/mount-point", contentType::folder));
}

}  // namespace
}  // namespace ostrel::platform::fileprovider
