// The real ostrel-companion, started as a process, driven through the
// extension's own bridge.

#include <signal.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "extension/bridge/ostrel_bridge.hpp"
#include "platform/crypto.hpp"
#include "tests/companion/companion_process.hpp"
#include "tests/support/bridge_error_of.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel::testing {
namespace {

using Kind = BridgeError::Kind;

std::optional<VaultFile> findByName(const std::vector<VaultFile>& files, const std::string& name) {
  for (const auto& file : files) {
    if (file.filename == name) return file;
  }
  return std::nullopt;
}

std::string allBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes + bytes;
}

class CompanionContract : public ::testing::Test {
 protected:
  void start(std::vector<std::string> extra = {}) {
    // A short keep-alive lets each stop finish quickly while the bridge
    // still holds its idle connections.
    std::vector<std::string> args{"--vault", vault().string(), "--test-controls", "--keep-alive-seconds", "1"};
    args.insert(args.end(), extra.begin(), extra.end());
    companion.emplace(args);
  }
  std::filesystem::path vault() const { return home.root() / "vault"; }
  std::filesystem::path handshake() const { return home.handshakePath(); }

  HandshakeHome home;
  std::optional<CompanionProcess> companion;
  OstrelBridge bridge;
};

TEST_F(CompanionContract, DemoSeedFillsEveryResidencyWithFilesAndFolders) {
  home.removeContainer();  // the companion creates the container itself
  start({"--seed", "demo"});
  for (Residency residency : Residency::allCases()) {
    auto files = bridge.enumerate(residency);
    ASSERT_FALSE(files.empty()) << residency.slug();
    bool direct = false;
    bool nested = false;
    for (const auto& file : files) {
      EXPECT_EQ(file.residency, residency.slug());
      EXPECT_EQ(file.materialized, residency != Residency::cloudOnly) << file.filename;
      EXPECT_EQ(static_cast<std::int64_t>(bridge.fetch(file.id).size()), file.size) << file.filename;
      (file.folder ? nested : direct) = true;
    }
    EXPECT_TRUE(direct && nested) << residency.slug();
  }
}

TEST_F(CompanionContract, HandshakeIsPrivateAndNamesTheListeningPort) {
  start();
  auto written = readJson(handshake());
  EXPECT_EQ(written["port"], companion->port());
  EXPECT_EQ(written["signedIn"], true);
  EXPECT_FALSE(written["vaultId"].get<std::string>().empty());
  EXPECT_GE(written["token"].get<std::string>().size(), 32u);
  auto mode = std::filesystem::status(handshake()).permissions();
  EXPECT_EQ(mode, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(CompanionContract, ReparentChangesResidencyAndKeepsTheId) {
  start({"--seed", "demo"});
  auto welcome = findByName(bridge.enumerate(Residency::deviceOnly), "Welcome.txt");
  ASSERT_TRUE(welcome);
  std::string bytes = bridge.fetch(welcome->id);

  bridge.reparent(welcome->id, Residency::cloudOnly);
  EXPECT_FALSE(findByName(bridge.enumerate(Residency::deviceOnly), "Welcome.txt"));
  auto moved = findByName(bridge.enumerate(Residency::cloudOnly), "Welcome.txt");
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->id, welcome->id);
  EXPECT_FALSE(moved->materialized);
  EXPECT_EQ(bridge.fetch(moved->id), bytes);  // cloud-only bytes are still served

  EXPECT_EQ(bridgeErrorOf([&] { bridge.reparent("NO-SUCH-ID", Residency::deviceOnly); }).kind(), Kind::said);
}

TEST_F(CompanionContract, IdsAndRecordsSurviveARestart) {
  start({"--seed", "demo"});
  auto before = bridge.enumerate(Residency::deviceAndCloud);
  EXPECT_EQ(companion->stop(SIGINT), 0);
  companion.reset();
  start({"--seed", "demo"});  // a vault that holds files is not seeded again
  auto after = bridge.enumerate(Residency::deviceAndCloud);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].id, before[i].id);
    EXPECT_EQ(after[i].filename, before[i].filename);
    EXPECT_EQ(after[i].folder, before[i].folder);
    EXPECT_EQ(after[i].size, before[i].size);
  }
}

TEST_F(CompanionContract, SigtermRemovesTheHandshake) {
  start();
  ASSERT_TRUE(std::filesystem::exists(handshake()));
  EXPECT_EQ(companion->stop(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::exists(handshake()));
  EXPECT_EQ(bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); }).kind(), Kind::appNotRunning);
}

TEST_F(CompanionContract, EveryEndpointWantsTheToken) {
  start({"--seed", "demo"});
  for (const char* target : {"/vault/finder/enumerate?residency=device-only", "/vault/finder/content?id=X",
                             "/test/state"}) {
    auto reply = get(handshake(), target, "wrong-token");
    EXPECT_EQ(reply.status, 401) << target;
    EXPECT_TRUE(reply.body["error"].is_string()) << target;
  }
  EXPECT_EQ(post(handshake(), "/vault/finder/reparent", {{"id", "X"}, {"to", "cloud-only"}}, "wrong").status, 401);

  // Through the bridge, a handshake with a stale token gets the sentence.
  auto stale = readJson(handshake());
  stale["token"] = "stale";
  home.writeRaw(stale.dump());
  EXPECT_EQ(bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); }).kind(), Kind::said);
}

TEST_F(CompanionContract, BadInputIsRefusedWithASentence) {
  start({"--seed", "demo"});
  struct Case {
    const char* path;
    nlohmann::json body;
    int status;
  };
  const Case cases[] = {
      {"/vault/finder/reparent", {{"id", 5}, {"to", "cloud-only"}}, 400},
      {"/vault/finder/reparent", {{"id", "X"}, {"to", "Cloud only"}}, 400},
      {"/vault/finder/ingest", {{"filename", "a"}, {"residency", "device-only"}}, 400},
      {"/vault/finder/ingest", {{"filename", "a"}, {"residency", "nowhere"}, {"contentBase64", ""}}, 400},
      {"/vault/finder/ingest", {{"filename", ".."}, {"residency", "device-only"}, {"contentBase64", ""}}, 400},
      {"/vault/finder/ingest", {{"filename", "a\nb"}, {"residency", "device-only"}, {"contentBase64", ""}}, 400},
      {"/vault/finder/ingest",
       {{"filename", "a"}, {"residency", "device-only"}, {"folder", "x//y"}, {"contentBase64", ""}}, 400},
      {"/vault/finder/ingest",
       {{"filename", "a"}, {"residency", "device-only"}, {"folder", "../x"}, {"contentBase64", ""}}, 400},
      {"/vault/finder/ingest", {{"filename", "a"}, {"residency", "device-only"}, {"contentBase64", "Zg="}}, 400},
      {"/vault/finder/ingest",
       {{"filename", "Welcome.txt"}, {"residency", "device-only"}, {"contentBase64", "Zg=="}}, 409},
  };
  for (const auto& c : cases) {
    auto reply = post(handshake(), c.path, c.body);
    EXPECT_EQ(reply.status, c.status) << c.body.dump();
    EXPECT_TRUE(reply.body.is_object() && reply.body["error"].is_string()) << c.body.dump();
  }
  EXPECT_EQ(get(handshake(), "/vault/finder/enumerate?residency=everywhere").status, 400);
  EXPECT_EQ(get(handshake(), "/vault/finder/content?id=..%2Findex.sqlite").status, 404);
  // Not JSON at all.
  httplib::Client client("127.0.0.1", companion->port());
  auto raw = client.Post("/vault/finder/ingest", {{"X-Ostrel-Sync-Token", readJson(handshake())["token"]}},
                         "{not json", "application/json");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->status, 400);
}

// Both ways of ingest, chosen by the handshake.
class IngestContract : public CompanionContract, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    std::vector<std::string> extra{"--max-file-bytes", "4096"};
    if (GetParam()) extra.push_back("--stream-ingest");
    start(extra);
  }
};

TEST_P(IngestContract, StoresNameFolderAndBytesExactly) {
  // "%41" must come back as typed, not decoded a second time.
  const std::string name = "Résumé 100%41 (final).bin";
  TempFile file("drop", allBytes());
  std::string id = bridge.ingest(name, Residency::deviceAndCloud, file.path(), "Photos/2024");
  auto stored = findByName(bridge.enumerate(Residency::deviceAndCloud), name);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->id, id);
  EXPECT_EQ(stored->folder, "Photos/2024");
  EXPECT_EQ(stored->size, 512);
  EXPECT_TRUE(stored->materialized);
  EXPECT_EQ(bridge.fetch(id), allBytes());

  TempFile empty("empty", "");
  std::string emptyId = bridge.ingest("empty.txt", Residency::cloudOnly, empty.path());
  auto top = findByName(bridge.enumerate(Residency::cloudOnly), "empty.txt");
  ASSERT_TRUE(top);
  EXPECT_FALSE(top->folder);
  EXPECT_FALSE(top->materialized);
  EXPECT_EQ(bridge.fetch(emptyId), "");
}

TEST_P(IngestContract, RefusesHiddenAndOversizedFiles) {
  TempFile hidden("drop", "x");
  EXPECT_EQ(bridgeErrorOf([&] { bridge.ingest(".DS_Store", Residency::deviceOnly, hidden.path()); }).kind(),
            Kind::refused);
  EXPECT_TRUE(bridge.enumerate(Residency::deviceOnly).empty());

  TempFile exact("exact", std::int64_t{4096});
  EXPECT_NO_THROW(bridge.ingest("exact.bin", Residency::deviceOnly, exact.path()));
  TempFile over("over", std::int64_t{4097});
  EXPECT_EQ(bridgeErrorOf([&] { bridge.ingest("over.bin", Residency::deviceOnly, over.path()); }).kind(),
            Kind::tooLarge);
}

INSTANTIATE_TEST_SUITE_P(Ways, IngestContract, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Stream" : "Json"; });

TEST_F(CompanionContract, TheCompanionItselfHoldsTheSizeLimit) {
  // A client that skips its own check still meets the limit.
  start({"--max-file-bytes", "3"});
  auto reply = post(handshake(), "/vault/finder/ingest",
                    {{"filename", "big"}, {"residency", "device-only"}, {"contentBase64", "AAAAAA=="}});
  EXPECT_EQ(reply.status, 413);
  EXPECT_TRUE(reply.body["error"].is_string());

  httplib::Client client("127.0.0.1", companion->port());
  httplib::Headers headers{{"X-Ostrel-Sync-Token", readJson(handshake())["token"]},
                           {"X-Ostrel-Filename", "big"}, {"X-Ostrel-Residency", "device-only"}};
  auto streamed = client.Post("/vault/finder/ingest-stream", headers, std::string(10, 'x'), "application/octet-stream");
  ASSERT_TRUE(streamed);
  EXPECT_EQ(streamed->status, 413);
  // The connection was closed rather than left with unread bytes; the next
  // request on a new one is served normally.
  EXPECT_EQ(get(handshake(), "/vault/finder/enumerate?residency=device-only").body["files"].size(), 0u);
}

struct StateCase {
  const char* name;
  Kind expected;
};

class StateContract : public CompanionContract, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateContract, StartingInAStateGivesItsBridgeError) {
  start({"--state", GetParam().name, "--seed", "demo"});
  EXPECT_EQ(bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); }).kind(), GetParam().expected);
}

TEST_P(StateContract, ChangingStateWhileRunningRewritesTheHandshake) {
  start({"--seed", "demo"});
  ASSERT_FALSE(bridge.enumerate(Residency::deviceOnly).empty());
  EXPECT_EQ(post(handshake(), "/test/state", {{"state", GetParam().name}}).status, 200);
  EXPECT_EQ(bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); }).kind(), GetParam().expected);
  EXPECT_EQ(post(handshake(), "/test/state", {{"state", "ready"}}).status, 200);
  EXPECT_FALSE(bridge.enumerate(Residency::deviceOnly).empty());
}

INSTANTIATE_TEST_SUITE_P(States, StateContract,
                         ::testing::Values(StateCase{"signed-out", Kind::notSignedIn},
                                           StateCase{"not-ready", Kind::notReady},
                                           StateCase{"clearing", Kind::clearingPrevious},
                                           StateCase{"stuck", Kind::clearingStuck}),
                         [](const ::testing::TestParamInfo<StateCase>& param) {
                           std::string out;
                           for (char c : std::string(param.param.name)) {
                             if (c != '-') out.push_back(c);
                           }
                           return out;
                         });

TEST_F(CompanionContract, InjectedFaultsReachTheBridge) {
  start({"--seed", "demo"});
  const std::string listing = "/vault/finder/enumerate";
  post(handshake(), "/test/fault",
       {{"path", listing}, {"status", 502}, {"body", R"({"error":"No cloud.","retry":"cloud-unreachable"})"},
        {"times", 1}});
  auto unreachable = bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); });
  EXPECT_EQ(unreachable.kind(), Kind::unreachable);
  EXPECT_EQ(unreachable.payload(), "No cloud.");
  EXPECT_FALSE(bridge.enumerate(Residency::deviceOnly).empty());  // the fault was used up

  post(handshake(), "/test/fault", {{"path", listing}, {"drop", true}});
  EXPECT_EQ(bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); }).kind(), Kind::appNotRunning);
  post(handshake(), "/test/faults/clear", nlohmann::json::object());

  OstrelBridge impatient(BridgeSettings{.requestTimeout = 0.2, .grace = 0.2});
  post(handshake(), "/test/fault", {{"path", "*"}, {"delayMs", 1500}, {"times", 1}});
  // Too slow for the bridge's short limit: a time-out, by the platform's
  // clock or the bridge's own deadline, whichever ends first.
  auto late = bridgeErrorOf([&] { impatient.enumerate(Residency::deviceOnly); });
  EXPECT_TRUE(late.kind() == Kind::malformed || (late.kind() == Kind::http && late.status() == 408))
      << late.errorDescription();

  EXPECT_EQ(post(handshake(), "/test/fault", {{"path", listing}, {"status", "500"}}).status, 400);
}

TEST_F(CompanionContract, VaultFilesChangeWhileRunning) {
  start();
  auto added = post(handshake(), "/test/files/add",
                    {{"filename", "notes.txt"}, {"residency", "device-only"}, {"folder", "A"},
                     {"contentBase64", platform::base64Encode("one")}});
  ASSERT_EQ(added.status, 200);
  std::string id = added.body["id"];
  EXPECT_EQ(bridge.fetch(id), "one");

  ASSERT_EQ(post(handshake(), "/test/files/modify", {{"id", id}, {"contentBase64", platform::base64Encode("three")}})
                .status,
            200);
  EXPECT_EQ(bridge.fetch(id), "three");
  EXPECT_EQ(bridge.enumerate(Residency::deviceOnly).at(0).size, 5);

  // The add subcommand writes the same vault from another process.
  TempFile file("report.txt", "from the command line");
  auto result = std::system((CompanionProcess::program() + " add --vault " + vault().string() +
                             " --residency cloud-only --folder B/C " + file.path().string() + " > /dev/null")
                                .c_str());
  EXPECT_EQ(result, 0);
  auto cloud = findByName(bridge.enumerate(Residency::cloudOnly), "report.txt");
  ASSERT_TRUE(cloud);
  EXPECT_EQ(cloud->folder, "B/C");
  EXPECT_EQ(bridge.fetch(cloud->id), "from the command line");

  EXPECT_EQ(post(handshake(), "/test/files/remove", {{"id", id}}).status, 200);
  EXPECT_TRUE(bridge.enumerate(Residency::deviceOnly).empty());
  EXPECT_EQ(bridgeErrorOf([&] { bridge.fetch(id); }).kind(), Kind::said);
}

}  // namespace
}  // namespace ostrel::testing
