#include "extension/model/vault_records.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "extension/model/json_fields.hpp"

namespace ostrel {
namespace {

constexpr const char* goodFile =
    R"({"id":"f1","filename":"a.txt","size":12,"modifiedAt":1700000000.5,"residency":"device-only","materialized":true})";

TEST(VaultFileDecode, ReadsEveryField) {
  auto file = decodeVaultFile(
      R"({"id":"f1","filename":"Résumé.pdf","size":9223372036854775807,"modifiedAt":1700000000.25,)"
      R"("residency":"elsewhere","materialized":false,"folder":"a/b","extra":[1,{"x":null}]})");
  EXPECT_EQ(file.id, "f1");
  EXPECT_EQ(file.filename, "Résumé.pdf");
  EXPECT_EQ(file.size, INT64_MAX);
  EXPECT_DOUBLE_EQ(file.modifiedAt, 1700000000.25);
  EXPECT_EQ(file.residency, "elsewhere");  // not judged against the slugs here
  EXPECT_FALSE(file.materialized);
  EXPECT_EQ(file.folder, "a/b");
}

TEST(VaultFileDecode, FolderNullOrAbsentIsNoFolder) {
  EXPECT_FALSE(decodeVaultFile(goodFile).folder);
  std::string withNull = goodFile;
  withNull.insert(withNull.size() - 1, R"(,"folder":null)");
  EXPECT_FALSE(decodeVaultFile(withNull).folder);
}

TEST(VaultFileDecode, WholeNumbersWrittenAsDecimalsAreSizes) {
  std::string json = R"({"id":"f","filename":"n","size":1e3,"modifiedAt":5,"residency":"r","materialized":true})";
  EXPECT_EQ(decodeVaultFile(json).size, 1000);
}

struct BadRecord {
  const char* name;
  const char* json;
};

class VaultFileRejects : public ::testing::TestWithParam<BadRecord> {};

TEST_P(VaultFileRejects, FailsTheDecode) {
  EXPECT_THROW(decodeVaultFile(GetParam().json), DecodeError);
  std::string listing = std::string(R"({"ok":true,"files":[)") + goodFile + "," + GetParam().json + "]}";
  EXPECT_THROW(decodeEnumerateResponse(listing), DecodeError) << "a bad record fails the whole listing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VaultFileRejects,
    ::testing::Values(
        BadRecord{"fractionalSize", R"({"id":"f","filename":"n","size":1.5,"modifiedAt":1,"residency":"r","materialized":true})"},
        BadRecord{"sizePastInt64", R"({"id":"f","filename":"n","size":9223372036854775808,"modifiedAt":1,"residency":"r","materialized":true})"},
        BadRecord{"sizeAsString", R"({"id":"f","filename":"n","size":"12","modifiedAt":1,"residency":"r","materialized":true})"},
        BadRecord{"missingMaterialized", R"({"id":"f","filename":"n","size":1,"modifiedAt":1,"residency":"r"})"},
        BadRecord{"materializedAsNumber", R"({"id":"f","filename":"n","size":1,"modifiedAt":1,"residency":"r","materialized":1})"},
        BadRecord{"nullRequired", R"({"id":null,"filename":"n","size":1,"modifiedAt":1,"residency":"r","materialized":true})"},
        BadRecord{"missingFilename", R"({"id":"f","size":1,"modifiedAt":1,"residency":"r","materialized":true})"},
        BadRecord{"keyInOtherCase", R"({"ID":"f","filename":"n","size":1,"modifiedAt":1,"residency":"r","materialized":true})"},
        BadRecord{"modifiedAtAsString", R"({"id":"f","filename":"n","size":1,"modifiedAt":"now","residency":"r","materialized":true})"},
        BadRecord{"folderAsNumber", R"({"id":"f","filename":"n","size":1,"modifiedAt":1,"residency":"r","materialized":true,"folder":3})"},
        BadRecord{"notAnObject", R"(["f"])"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(EnumerateResponseDecode, OkFalseIsStillAListing) {
  auto response = decodeEnumerateResponse(std::string(R"({"files":[)") + goodFile + R"(],"ok":false})");
  EXPECT_FALSE(response.ok);
  ASSERT_EQ(response.files.size(), 1u);
  EXPECT_EQ(response.files[0].id, "f1");
  EXPECT_TRUE(decodeEnumerateResponse(R"({"ok":false,"files":[]})").files.empty());
}

TEST(EnumerateResponseDecode, RejectsBrokenReplies) {
  for (const char* json : {R"({"files":[]})", R"({"ok":true})", R"({"ok":true,"files":null})",
                           R"({"ok":"yes","files":[]})", R"({"ok":true,"files":{}})", "", "not json",
                           R"({"ok":true,"files":[)", R"({"ok":true,"files":[],"junk":tru})", "[]",
                           "{\"ok\":true,\"files\":[],\"bad\":\"\xff\"}"}) {
    EXPECT_THROW(decodeEnumerateResponse(json), DecodeError) << json;
  }
}

// One set of parser buffers is shared by the process: documents parsed at
// once, on one thread or many, must each keep their own values.
TEST(EnumerateResponseDecode, DocumentsParsedAtOnceKeepTheirOwnValues) {
  auto reply = [](int n) {
    return R"({"ok":true,"files":[{"id":"id-)" + std::to_string(n) +
           R"(","filename":"f","size":1,"modifiedAt":2,"residency":"device-only","materialized":true}]})";
  };
  json::Document outer(reply(1));
  EXPECT_EQ(decodeEnumerateResponse(reply(2)).files.at(0).id, "id-2");
  EXPECT_EQ(outer.object()["files"].at(0)["id"].get_string().value(), "id-1");

  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        int n = t * 1000 + i;
        if (decodeEnumerateResponse(reply(n)).files.at(0).id != "id-" + std::to_string(n)) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(IngestResponseDecode, OptionalFields) {
  auto bare = decodeIngestResponse(R"({"ok":true})");
  EXPECT_TRUE(bare.ok);
  EXPECT_FALSE(bare.id);
  EXPECT_FALSE(bare.error);
  EXPECT_FALSE(bare.skipped);
  auto full = decodeIngestResponse(R"({"ok":false,"id":"x","error":"no","skipped":"hidden","more":1})");
  EXPECT_EQ(full.id, "x");
  EXPECT_EQ(full.error, "no");
  EXPECT_EQ(full.skipped, "hidden");
  EXPECT_THROW(decodeIngestResponse(R"({"id":"x"})"), DecodeError);
  EXPECT_THROW(decodeIngestResponse(R"({"ok":true,"id":7})"), DecodeError);
}

}  // namespace
}  // namespace ostrel
