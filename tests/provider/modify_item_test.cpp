#include <gtest/gtest.h>

#include "extension/bridge/bridge_error.hpp"
#include "extension/provider/error_mapping.hpp"
#include "tests/provider/provider_fixture.hpp"

namespace ostrel::testing {
namespace {

const auto parentField = fp::ItemFields(fp::ItemField::parentItemIdentifier);
const auto moveAndRename = fp::ItemField::parentItemIdentifier | fp::ItemField::filename;
const auto declined = fp::Error::fileProvider(fp::errorCode::notAuthenticated);
const auto nowhere = fp::Error::fileProvider(fp::errorCode::noSuchItem);

ScriptedReply moved() { return ScriptedReply{.body = R"({"ok":true})"}; }

struct Modification {
  std::string name{};
  std::string parent{};
  fp::ItemFields changed{};
  std::optional<ScriptedReply> reply{};
  nlohmann::json handshake = nlohmann::json::object();
  bool appRunning = true;
  std::optional<std::string> sentTo{};  // the "to" of the reparent request, if one is sent
  std::optional<fp::Error> error{};     // none: the proposed item comes back
};

std::ostream& operator<<(std::ostream& out, const Modification& c) { return out << c.name; }

class ModifyItem : public ProviderTest, public ::testing::WithParamInterface<Modification> {};

TEST_P(ModifyItem, SendsOnlyTheResidencyAndAnswersOnce) {
  const Modification& c = GetParam();
  if (c.reply) once(reparentPath, *c.reply);
  if (!c.handshake.empty()) home.write(companion.port(), c.handshake);
  if (!c.appRunning) home.removeHandshake();

  ChangeResult result = modify(HostItem("f1", c.parent, "renamed.txt"), c.changed);

  ASSERT_EQ(result.calls, 1);
  EXPECT_TRUE(result.pending.empty());
  EXPECT_FALSE(result.shouldFetch);
  EXPECT_EQ(result.error, c.error);
  if (c.error) {
    EXPECT_FALSE(result.item);
  } else {
    ASSERT_TRUE(result.item);
    EXPECT_EQ(result.item->itemIdentifier(), "f1");
    EXPECT_EQ(result.item->parentItemIdentifier(), c.parent);
    EXPECT_EQ(result.item->filename(), "renamed.txt");
  }
  auto requests = companion.requests();
  if (c.sentTo) {
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, reparentPath);
    EXPECT_EQ(nlohmann::json::parse(requests[0].body), (nlohmann::json{{"id", "f1"}, {"to", *c.sentTo}}));
  } else {
    EXPECT_TRUE(requests.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModifyItem,
    ::testing::Values(
        Modification{.name = "renameAlone", .parent = "device-only", .changed = fp::ItemField::filename,
                     .error = declined},
        Modification{.name = "contentEdit", .parent = "device-only",
                     .changed = fp::ItemField::contents | fp::ItemField::contentModificationDate, .error = declined},
        Modification{.name = "moveWithRename", .parent = "device-and-cloud", .changed = moveAndRename,
                     .reply = moved(), .sentTo = "device-and-cloud"},
        Modification{.name = "intoSubFolderSendsResidencyOnly", .parent = "dir:cloud-only/Projects",
                     .changed = parentField, .reply = moved(), .sentTo = "cloud-only"},
        Modification{.name = "ontoRoot", .parent = std::string(fp::rootContainer), .changed = parentField,
                     .error = nowhere},
        Modification{.name = "intoTrash", .parent = std::string(fp::trashContainer), .changed = parentField,
                     .error = nowhere},
        Modification{.name = "intoUnknownResidency", .parent = "dir:nowhere/x", .changed = parentField,
                     .error = nowhere},
        Modification{.name = "appNotRunning", .parent = "cloud-only", .changed = parentField, .appRunning = false,
                     .error = fp::Error::fileProvider(fp::errorCode::serverUnreachable,
                                                      "Ostrel isn\u2019t running. Open Ostrel to use this folder.")},
        Modification{.name = "notReadyIsFinal", .parent = "cloud-only", .changed = parentField,
                     .reply = failure(409, "no vault bound"), .sentTo = "cloud-only",
                     .error = terminalRefusal("Ostrel is still setting up your account. This folder will work in a "
                                              "moment. Move the file again after that.")},
        Modification{.name = "clearingIsFinal", .parent = "cloud-only", .changed = parentField,
                     .handshake = {{"clearing", true}, {"stuck", true}},
                     .error = terminalRefusal("Finder can\u2019t clear the previous account\u2019s files. Restart "
                                              "your Mac, then open Ostrel. Move the file again after that.")},
        Modification{.name = "notSignedIn", .parent = "cloud-only", .changed = parentField,
                     .handshake = {{"signedIn", false}},
                     .error = terminalRefusal("Sign in to Ostrel, then move the file again.")},
        Modification{.name = "refused", .parent = "cloud-only", .changed = parentField,
                     .reply = failure(403, R"({"error":"Shared files stay put.","refusal":"shared"})"),
                     .sentTo = "cloud-only", .error = terminalRefusal("Shared files stay put.")},
        Modification{.name = "cloudUnreachableIsRetried", .parent = "cloud-only", .changed = parentField,
                     .reply = failure(502, R"({"error":"The cloud is away.","retry":"cloud-unreachable"})"),
                     .sentTo = "cloud-only",
                     .error = fp::Error::fileProvider(fp::errorCode::serverUnreachable, "The cloud is away.")},
        Modification{.name = "httpFailurePassesThrough", .parent = "device-only", .changed = parentField,
                     .reply = failure(500, "boom"), .sentTo = "device-only",
                     .error = fileProviderError(BridgeError::http(500, "boom"))}),
    [](const auto& param) { return param.param.name; });

TEST_F(ProviderTest, EveryDeletionIsDeclinedWithoutARequest) {
  for (const std::string& id : {std::string("f1"), std::string("device-only"), std::string("dir:cloud-only/a"),
                                std::string(fp::rootContainer)}) {
    int calls = 0;
    std::optional<fp::Error> error;
    provider.deleteItem(id, {}, fp::DeleteItemOption::recursive, {}, [&](std::optional<fp::Error> e) {
      ++calls;
      error = std::move(e);
    });
    EXPECT_EQ(calls, 1) << id;
    EXPECT_EQ(error, fp::Error::fileProvider(fp::errorCode::notAuthenticated)) << id;
  }
  EXPECT_EQ(companion.requestCount(), 0u);
}

TEST_F(ProviderTest, LoadingLogsOneLine) {
  LogCapture log;
  OstrelFileProvider loaded(fp::Domain{.identifier = "ostrel", .displayName = "Ostrel"});
  EXPECT_EQ(log.lines(), std::vector<std::string>{"info|OstrelFileProvider loaded for domain ostrel"});
}

}  // namespace
}  // namespace ostrel::testing
