#include <gtest/gtest.h>

#include "extension/bridge/bridge_error.hpp"
#include "extension/provider/error_mapping.hpp"
#include "tests/provider/provider_fixture.hpp"

namespace ostrel::testing {
namespace {

struct LookupCase {
  std::string name{};
  std::string id{};
  std::vector<ScriptedReply> listings{};  // one per residency, in order
  nlohmann::json handshake = nlohmann::json::object();
  bool appRunning = true;
  // Expected: an item with this identifier and parent, or this error.
  std::optional<std::pair<std::string, std::string>> item{};
  std::optional<fp::Error> error{};
  std::size_t requests = 0;
};

std::ostream& operator<<(std::ostream& out, const LookupCase& c) { return out << c.name; }

const auto notFound = fp::Error::fileProvider(fp::errorCode::noSuchItem);

class ItemLookup : public ProviderTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(ItemLookup, AnswersOnceWithItemOrError) {
  const LookupCase& c = GetParam();
  for (const auto& reply : c.listings) once(enumeratePath, reply);
  if (!c.handshake.empty()) home.write(companion.port(), c.handshake);
  if (!c.appRunning) home.removeHandshake();

  ItemResult result = lookUp(c.id);

  ASSERT_EQ(result.calls, 1);
  if (c.item) {
    ASSERT_TRUE(result.item);
    EXPECT_FALSE(result.error);
    EXPECT_EQ(result.item->itemIdentifier(), c.item->first);
    EXPECT_EQ(result.item->parentItemIdentifier(), c.item->second);
  } else {
    EXPECT_FALSE(result.item);
    EXPECT_EQ(result.error, c.error);
  }
  EXPECT_EQ(companion.requestCount(), c.requests);
}

const std::string root(fp::rootContainer);
const std::string trash(fp::trashContainer);

INSTANTIATE_TEST_SUITE_P(
    Cases, ItemLookup,
    ::testing::Values(
        LookupCase{.name = "root", .id = root, .item = std::pair{root, root}},
        LookupCase{.name = "residencyFolderWithoutBridge", .id = "device-only",
                   .item = std::pair{"device-only", root}},
        LookupCase{.name = "folderEvenWhenEmpty", .id = "dir:device-only/a",
                   .item = std::pair{"dir:device-only/a", "device-only"}},
        LookupCase{.name = "folderWhileAppIsDown", .id = "dir:cloud-only/a/b", .appRunning = false,
                   .item = std::pair{"dir:cloud-only/a/b", "dir:cloud-only/a"}},
        LookupCase{.name = "fileInLastResidency", .id = "f1",
                   .listings = {listing({}), listing({}), listing({record("f1", "cloud-only", "x")})},
                   .item = std::pair{"f1", "dir:cloud-only/x"}, .requests = 3},
        LookupCase{.name = "earliestResidencyWins", .id = "f1",
                   .listings = {listing({}), listing({record("f1", "device-and-cloud")}),
                                listing({record("f1", "cloud-only")})},
                   .item = std::pair{"f1", "device-and-cloud"}, .requests = 3},
        LookupCase{.name = "unknownResidencyFolderIsSearchedAsFile", .id = "dir:elsewhere/a",
                   .listings = {listing({}), listing({}), listing({})}, .error = notFound, .requests = 3},
        LookupCase{.name = "trashIsSearchedAsFile", .id = trash,
                   .listings = {listing({}), listing({}), listing({})}, .error = notFound, .requests = 3},
        LookupCase{.name = "laterListingFailureWinsOverEarlierMatch", .id = "f1",
                   .listings = {listing({record("f1", "device-only")}), failure(500, "boom")},
                   .error = fileProviderError(BridgeError::http(500, "boom")), .requests = 2},
        LookupCase{.name = "appNotRunning", .id = "f1", .appRunning = false,
                   .error = fileProviderError(BridgeError::appNotRunning())},
        LookupCase{.name = "signedOutCountsAsFailure", .id = "f1", .handshake = {{"signedIn", false}},
                   .error = fileProviderError(BridgeError::notSignedIn())}),
    [](const auto& param) { return param.param.name; });

TEST_F(ProviderTest, SignedOutLookupIsServerUnreachableWithSentence) {
  home.write(companion.port(), {{"signedIn", false}});
  ItemResult result = lookUp("f1");
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain, fp::errorDomain);
  EXPECT_EQ(result.error->code, fp::errorCode::serverUnreachable);
  EXPECT_EQ(result.error->localizedDescription, "Sign in to Ostrel to use this folder.");
}

TEST_F(ProviderTest, EnumeratorForAnyIdentifierWithoutError) {
  for (const std::string& id : {root, std::string("nowhere"), std::string("dir:nowhere/x")}) {
    std::optional<fp::Error> error;
    auto enumerator = provider.enumerator(id, {}, error);
    EXPECT_TRUE(enumerator) << id;
    EXPECT_FALSE(error) << id;
  }
  EXPECT_EQ(companion.requestCount(), 0u);
}

}  // namespace
}  // namespace ostrel::testing
