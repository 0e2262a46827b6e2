#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <latch>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "extension/bridge/bridge_error.hpp"
#include "extension/provider/error_mapping.hpp"
#include "tests/provider/provider_fixture.hpp"

namespace ostrel::testing {
namespace {

std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

ScriptedReply bytes(std::string body) {
  return ScriptedReply{.body = std::move(body), .contentType = "application/octet-stream"};
}

TEST_F(ProviderTest, FetchWritesPrivateUuidFileThenListsAllResidencies) {
  companion.script(contentPath, bytes("hello bytes"));
  once(enumeratePath, listing({}));
  once(enumeratePath, listing({record("f1", "device-and-cloud", "Projects")}));
  once(enumeratePath, listing({record("f1", "cloud-only")}));

  FetchResult result = fetch("f1");

  ASSERT_EQ(result.calls, 1);
  ASSERT_FALSE(result.error) << result.error->localizedDescription.value_or("");
  ASSERT_TRUE(result.url);
  ASSERT_TRUE(result.item);
  EXPECT_EQ(result.url->parent_path(), tmpdir.path());
  EXPECT_TRUE(std::regex_match(result.url->filename().string(),
                               std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));
  EXPECT_EQ(contentsOf(*result.url), "hello bytes");
  struct stat info{};
  ASSERT_EQ(::stat(result.url->c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(result.item->itemIdentifier(), "f1");
  EXPECT_EQ(result.item->parentItemIdentifier(), "dir:device-and-cloud/Projects");
  EXPECT_EQ(requestPaths(), (std::vector{contentPath, enumeratePath, enumeratePath, enumeratePath}));
}

TEST_F(ProviderTest, FetchStreamsBodiesLargerThanTheInMemoryLimit) {
  OstrelFileProvider small(fp::Domain{.identifier = "ostrel"},
                           BridgeSettings{.requestTimeout = 5, .grace = 1, .maxReplyBytes = 1024});
  std::string big(std::size_t{3} << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 % 251);
  companion.script(contentPath, bytes(big));
  companion.script(enumeratePath, listing({record("f1", "device-only")}));

  FetchResult result;
  small.fetchContents("f1", std::nullopt, {}, [&](auto url, auto item, auto error) {
    ++result.calls;
    result.url = url;
    result.item = item;
    result.error = error;
  });

  ASSERT_EQ(result.calls, 1);
  ASSERT_FALSE(result.error) << result.error->localizedDescription.value_or("");
  EXPECT_EQ(contentsOf(*result.url), big);
}

TEST_F(ProviderTest, FetchOfEmptyFileMakesEmptyFile) {
  companion.script(contentPath, bytes(""));
  companion.script(enumeratePath, listing({record("f1", "device-only")}));
  FetchResult result = fetch("f1");
  ASSERT_FALSE(result.error) << result.error->localizedDescription.value_or("");
  ASSERT_TRUE(result.url);
  EXPECT_EQ(std::filesystem::file_size(*result.url), 0u);
}

TEST_F(ProviderTest, TwoFetchesOfOneIdGiveTwoFiles) {
  companion.script(contentPath, bytes("x"));
  companion.script(enumeratePath, listing({record("f1", "device-only")}));
  FetchResult first = fetch("f1");
  FetchResult second = fetch("f1");
  ASSERT_TRUE(first.url && second.url);
  EXPECT_NE(*first.url, *second.url);
  EXPECT_EQ(tmpdir.files().size(), 2u);
}

struct FetchFailure {
  std::string name{};
  std::vector<ScriptedReply> content{};   // replies to the content request, once each
  std::vector<ScriptedReply> listings{};  // replies to the listings, once each
  bool appRunning = true;
  fp::Error error{};
  std::vector<std::string> paths{};  // the requests, in order
};

std::ostream& operator<<(std::ostream& out, const FetchFailure& c) { return out << c.name; }

class FetchFails : public ProviderTest, public ::testing::WithParamInterface<FetchFailure> {};

// Every failure reaches the completion once, without location or item, and
// leaves no file behind: neither a partial download nor one whose record
// could not be found.
TEST_P(FetchFails, CompletesOnceAndLeavesNoFile) {
  const FetchFailure& c = GetParam();
  for (const auto& reply : c.content) once(contentPath, reply);
  for (const auto& reply : c.listings) once(enumeratePath, reply);
  if (!c.appRunning) home.removeHandshake();

  FetchResult result = fetch("f1");

  ASSERT_EQ(result.calls, 1);
  EXPECT_FALSE(result.url);
  EXPECT_FALSE(result.item);
  EXPECT_EQ(result.error, c.error);
  EXPECT_EQ(requestPaths(), c.paths);
  EXPECT_TRUE(tmpdir.files().empty());
}

const std::vector<ScriptedReply> served{bytes("hello")};
const std::vector<ScriptedReply> empties{listing({}), listing({}), listing({})};

INSTANTIATE_TEST_SUITE_P(
    Cases, FetchFails,
    ::testing::Values(
        FetchFailure{.name = "noRecordMatches", .content = served, .listings = empties,
                     .error = fp::Error::fileProvider(fp::errorCode::noSuchItem),
                     .paths = {contentPath, enumeratePath, enumeratePath, enumeratePath}},
        FetchFailure{.name = "secondListingFails", .content = served,
                     .listings = {listing({record("f1", "device-only")}), failure(500, "listing broke")},
                     .error = fileProviderError(BridgeError::http(500, "listing broke")),
                     .paths = {contentPath, enumeratePath, enumeratePath}},
        FetchFailure{.name = "contentHttpFailure", .content = {failure(500, "no bytes")},
                     .error = fileProviderError(BridgeError::http(500, "no bytes")), .paths = {contentPath}},
        FetchFailure{.name = "appNotRunning", .appRunning = false,
                     .error = fp::Error::fileProvider(fp::errorCode::serverUnreachable,
                                                      "Ostrel isn\u2019t running. Open Ostrel to use this folder.")}),
    [](const auto& param) { return param.param.name; });

TEST_F(ProviderTest, FetchCutOffMidBodyLeavesNoPartialFile) {
  companion.script(contentPath, ScriptedReply{.body = std::string(256 * 1024, 'b'),
                                              .contentType = "application/octet-stream",
                                              .ending = ScriptedReply::Ending::dropMidBody});
  FetchResult result = fetch("f1");
  ASSERT_EQ(result.calls, 1);
  EXPECT_TRUE(result.error);
  EXPECT_FALSE(result.url);
  EXPECT_EQ(requestPaths(), std::vector{contentPath});
  EXPECT_TRUE(tmpdir.files().empty());
}

TEST_F(ProviderTest, FetchIntoMissingTemporaryDirectoryReportsTheFileError) {
  companion.script(contentPath, bytes("hello"));
  ::setenv("TMPDIR", (tmpdir.path() / "gone").c_str(), 1);
  FetchResult result = fetch("f1");
  ::setenv("TMPDIR", tmpdir.path().c_str(), 1);
  ASSERT_EQ(result.calls, 1);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain, fp::systemErrorDomain);
  EXPECT_EQ(result.error->code, ENOENT);
  EXPECT_EQ(requestPaths(), std::vector{contentPath});
}

TEST_F(ProviderTest, ConcurrentFetchesEachGetTheirOwnFile) {
  companion.script(contentPath, bytes("shared bytes"));
  companion.script(enumeratePath, listing({record("f1", "device-only")}));
  constexpr int threads = 6;
  std::vector<FetchResult> results(threads);
  std::latch start(threads);
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i) {
    workers.emplace_back([&, i] {
      start.arrive_and_wait();
      results[i] = fetch("f1");
    });
  }
  for (auto& worker : workers) worker.join();

  std::set<std::filesystem::path> urls;
  for (const auto& result : results) {
    ASSERT_EQ(result.calls, 1);
    ASSERT_FALSE(result.error) << result.error->localizedDescription.value_or("");
    EXPECT_EQ(contentsOf(*result.url), "shared bytes");
    urls.insert(*result.url);
  }
  EXPECT_EQ(urls.size(), static_cast<std::size_t>(threads));
}

}  // namespace
}  // namespace ostrel::testing
