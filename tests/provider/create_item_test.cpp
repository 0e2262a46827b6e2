#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <latch>
#include <thread>

#include "extension/bridge/bridge_error.hpp"
#include "extension/provider/attempt_ledger.hpp"
#include "extension/provider/error_mapping.hpp"
#include "tests/provider/provider_fixture.hpp"

namespace ostrel::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string folderType = "inode/directory";
const std::string topLevel = "Drop the file into Device only, Device + Cloud, or Cloud only \u2014 not the top level.";

ScriptedReply ingested(const std::string& id) {
  return ScriptedReply{.body = nlohmann::json{{"ok", true}, {"id", id}}.dump()};
}

struct Refusal {
  std::string name{};
  std::string parent{};
  std::string filename{};
  std::optional<std::string> contentType{};
  bool withContents = true;
  nlohmann::json handshake = nlohmann::json::object();
  bool appRunning = true;
  std::optional<ScriptedReply> ingestReply{};
  std::string sentence{};
  std::size_t requests = 0;
  std::vector<std::string> log{};
};

std::ostream& operator<<(std::ostream& out, const Refusal& c) { return out << c.name; }

class CreateRefused : public ProviderTest, public ::testing::WithParamInterface<Refusal> {};

// A refusal is final: excludedFromSync with the user's sentence, and the
// attempt ledger is left alone.
TEST_P(CreateRefused, RefusesForGoodWithTheSentence) {
  const Refusal& c = GetParam();
  if (c.ingestReply) once(ingestPath, *c.ingestReply);
  if (!c.handshake.empty()) home.write(companion.port(), c.handshake);
  if (!c.appRunning) home.removeHandshake();
  TempFile contents("drop.bin", "dropped bytes");
  LogCapture log;

  ChangeResult result = create(HostItem("", c.parent, c.filename, c.contentType),
                               c.withContents ? std::optional(contents.path()) : std::nullopt);

  ASSERT_EQ(result.calls, 1);
  EXPECT_FALSE(result.item);
  EXPECT_TRUE(result.pending.empty());
  EXPECT_FALSE(result.shouldFetch);
  EXPECT_EQ(result.error, terminalRefusal(c.sentence));
  EXPECT_EQ(companion.requestCount(), c.requests);
  EXPECT_EQ(log.lines(), c.log);
  EXPECT_EQ(AttemptLedger::shared().count("device-only/" + c.filename), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Parents, CreateRefused,
    ::testing::Values(
        Refusal{.name = "fileAtRoot", .parent = std::string(fp::rootContainer), .filename = "a.pdf",
                .sentence = topLevel},
        Refusal{.name = "folderAtRoot", .parent = std::string(fp::rootContainer), .filename = "New",
                .contentType = folderType, .sentence = topLevel},
        Refusal{.name = "fileInTrash", .parent = std::string(fp::trashContainer), .filename = "a.pdf",
                .sentence = topLevel},
        Refusal{.name = "folderOfUnknownResidency", .parent = "dir:nowhere/x", .filename = "a.pdf",
                .sentence = topLevel},
        Refusal{.name = "fileAsParent", .parent = "f1", .filename = "a.pdf", .sentence = topLevel}),
    [](const auto& param) { return param.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Names, CreateRefused,
    ::testing::Values(
        Refusal{.name = "hiddenFolder", .parent = "device-only", .filename = ".git", .contentType = folderType,
                .sentence = "\u201C.git\u201D is a hidden folder and was skipped."},
        Refusal{.name = "dotDotFolder", .parent = "dir:device-only/a", .filename = "..",
                .contentType = folderType, .sentence = "\u201C..\u201D is a hidden folder and was skipped."},
        Refusal{.name = "folderWithSlash", .parent = "device-only", .filename = "a/b", .contentType = folderType,
                .sentence = "\u201Ca/b\u201D is a hidden folder and was skipped."},
        Refusal{.name = "templateWithoutTypeIsAFile", .parent = "device-only", .filename = "notes",
                .withContents = false, .sentence = "No file contents were supplied for notes."},
        Refusal{.name = "fileWithoutContents", .parent = "cloud-only", .filename = "b.txt",
                .contentType = "text/plain", .withContents = false,
                .sentence = "No file contents were supplied for b.txt."}),
    [](const auto& param) { return param.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Ingest, CreateRefused,
    ::testing::Values(
        Refusal{.name = "refusedByCompanion", .parent = "device-only", .filename = "r.pdf",
                .ingestReply = failure(409, R"({"error":"Vault is full.","refusal":"quota"})"),
                .sentence = "Vault is full.", .requests = 1,
                .log = {"info|ingest refused for device-only: Vault is full."}},
        Refusal{.name = "notSignedIn", .parent = "device-only", .filename = "a.pdf",
                .handshake = {{"signedIn", false}}, .sentence = "Sign in to Ostrel, then add \u201Ca.pdf\u201D again."},
        Refusal{.name = "clearing", .parent = "device-only", .filename = "c.pdf", .handshake = {{"clearing", true}},
                .sentence = "Finder will show your files once the previous account is cleared. Ostrel is retrying. "
                            "\u201Cc.pdf\u201D was not added; add it again once Finder shows your files."},
        Refusal{.name = "notRunning", .parent = "dir:device-only/x", .filename = "n.pdf", .appRunning = false,
                .sentence = "Ostrel wasn\u2019t open (or was still setting up your account), so \u201Cn.pdf\u201D "
                            "was not added. Open Ostrel, then add it again.",
                .log = {"info|ingest refused: Ostrel not open or not ready (device-only/n.pdf)"}},
        Refusal{.name = "notReady", .parent = "device-only", .filename = "v.pdf",
                .ingestReply = failure(409, "no vault bound yet"),
                .sentence = "Ostrel wasn\u2019t open (or was still setting up your account), so \u201Cv.pdf\u201D "
                            "was not added. Open Ostrel, then add it again.",
                .requests = 1, .log = {"info|ingest refused: Ostrel not open or not ready (device-only/v.pdf)"}}),
    [](const auto& param) { return param.param.name; });

TEST_F(ProviderTest, CreateFolderAnswersLocally) {
  LogCapture log;
  ChangeResult result = create(HostItem("", "dir:device-only/Projects", "Notes", folderType), std::nullopt);
  ASSERT_EQ(result.calls, 1);
  ASSERT_TRUE(result.item);
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.item->itemIdentifier(), "dir:device-only/Projects/Notes");
  EXPECT_EQ(result.item->parentItemIdentifier(), "dir:device-only/Projects");
  EXPECT_EQ(companion.requestCount(), 0u);
  EXPECT_THAT(log.lines(), ElementsAre("info|folder Projects/Notes created in device-only"));
}

struct Ingested {
  std::string name{};
  std::string parent{};
  std::string residency{};
  std::optional<std::string> folder{};  // sent to the companion app
  std::string itemParent{};
  bool downloaded = false;
};

std::ostream& operator<<(std::ostream& out, const Ingested& c) { return out << c.name; }

class CreateIngests : public ProviderTest, public ::testing::WithParamInterface<Ingested> {};

TEST_P(CreateIngests, BuildsTheItemFromTheNewIdAndTheLocalFile) {
  const Ingested& c = GetParam();
  once(ingestPath, ingested("new-" + c.name));
  TempFile contents("report.txt", "eleven byte");
  LogCapture log;

  ChangeResult result = create(HostItem("", c.parent, "report.txt"), contents.path());

  ASSERT_EQ(result.calls, 1);
  ASSERT_FALSE(result.error) << result.error->localizedDescription.value_or("");
  ASSERT_TRUE(result.item);
  EXPECT_EQ(result.item->itemIdentifier(), "new-" + c.name);
  EXPECT_EQ(result.item->parentItemIdentifier(), c.itemParent);
  EXPECT_EQ(result.item->filename(), "report.txt");
  EXPECT_EQ(result.item->documentSize(), 11);
  EXPECT_EQ(result.item->isDownloaded(), c.downloaded);
  auto requests = companion.requests();
  ASSERT_EQ(requests.size(), 1u);
  auto body = nlohmann::json::parse(requests[0].body);
  EXPECT_EQ(body["residency"], c.residency);
  EXPECT_EQ(body["filename"], "report.txt");
  EXPECT_EQ(body.contains("folder") ? std::optional(body["folder"].get<std::string>()) : std::nullopt, c.folder);
  EXPECT_THAT(log.lines(), ElementsAre("info|ingested report.txt into " + c.residency + " as new-" + c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateIngests,
    ::testing::Values(Ingested{.name = "residencyFolder", .parent = "device-and-cloud",
                               .residency = "device-and-cloud", .itemParent = "device-and-cloud",
                               .downloaded = true},
                      Ingested{.name = "subFolderOfCloudOnly", .parent = "dir:cloud-only/Projects/2024",
                               .residency = "cloud-only", .folder = "Projects/2024",
                               .itemParent = "dir:cloud-only/Projects/2024", .downloaded = false}),
    [](const auto& param) { return param.param.name; });

TEST_F(ProviderTest, CreateAnswersWithSizeZeroWhenTheContentsFileIsGoneAfterTheIngest) {
  ScriptedReply reply = ingested("gone-1");
  reply.delay = std::chrono::milliseconds(300);
  once(ingestPath, reply);
  auto contents = std::make_unique<TempFile>("gone.txt", "some bytes");
  const auto path = contents->path();
  // The upload has arrived once the companion records it; the reply is
  // still held back, so the file is gone before the size is read.
  std::thread remover([&] {
    while (companion.requestCount() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    contents.reset();
  });
  ChangeResult result = create(HostItem("", "device-only", "gone.txt"), path);
  remover.join();
  ASSERT_EQ(result.calls, 1);
  ASSERT_TRUE(result.item) << result.error->localizedDescription.value_or("");
  EXPECT_EQ(result.item->itemIdentifier(), "gone-1");
  EXPECT_EQ(result.item->documentSize(), 0);
}

class CreateRetries : public ProviderTest {
 protected:
  ChangeResult drop(const std::string& parent, const std::string& name) {
    TempFile contents(name, "bytes");
    return create(HostItem("", parent, name), contents.path());
  }
  const fp::Error boom = fileProviderError(BridgeError::http(500, "boom"));
  const std::string boomSentence = "Ostrel couldn\u2019t complete that (500): boom";
};

TEST_F(CreateRetries, TwoFailuresGoBackToTheHostAndTheThirdIsDeadLettered) {
  companion.script(ingestPath, failure(500, "boom"));
  LogCapture log;

  EXPECT_EQ(drop("device-only", "seq.pdf").error, boom);
  EXPECT_EQ(drop("dir:device-only/Other", "seq.pdf").error, boom);  // sub-folders share one count
  const auto deadLetter = terminalRefusal("Could not add seq.pdf after 3 attempts: " + boomSentence);
  EXPECT_EQ(drop("device-only", "seq.pdf").error, deadLetter);
  EXPECT_EQ(drop("device-only", "seq.pdf").error, deadLetter);  // no new round of retries
  EXPECT_EQ(drop("cloud-only", "seq.pdf").error, boom);  // another residency counts apart

  EXPECT_THAT(log.lines(),
              ElementsAre("error|ingest failed (will retry): " + boomSentence,
                          "error|ingest failed (will retry): " + boomSentence,
                          "error|ingest failed 3x, dead-lettering device-only/seq.pdf: " + boomSentence,
                          "error|ingest failed 3x, dead-lettering device-only/seq.pdf: " + boomSentence,
                          "error|ingest failed (will retry): " + boomSentence));
}

TEST_F(CreateRetries, SuccessStartsTheCountAgainAndClassifiedRefusalsDoNotCount) {
  once(ingestPath, failure(500, "boom"));
  once(ingestPath, failure(500, "boom"));
  once(ingestPath, failure(409, R"({"error":"No.","refusal":""})"));
  once(ingestPath, ingested("ok-1"));
  once(ingestPath, failure(500, "boom"));

  EXPECT_EQ(drop("device-only", "again.pdf").error, boom);
  EXPECT_EQ(drop("device-only", "again.pdf").error, boom);
  EXPECT_EQ(drop("device-only", "again.pdf").error, terminalRefusal("No."));
  EXPECT_EQ(AttemptLedger::shared().count("device-only/again.pdf"), 2);
  EXPECT_FALSE(drop("device-only", "again.pdf").error);
  EXPECT_EQ(drop("device-only", "again.pdf").error, boom);
  EXPECT_EQ(AttemptLedger::shared().count("device-only/again.pdf"), 1);
}

TEST_F(CreateRetries, TooLargeIsRetriedBeforeItIsDeadLettered) {
  home.write(companion.port(), {{"maxFileBytes", 2}});
  auto first = drop("device-only", "big.bin");
  ASSERT_TRUE(first.error);
  EXPECT_EQ(first.error->domain, fp::bridgeErrorDomain);
  drop("device-only", "big.bin");
  auto third = drop("device-only", "big.bin");
  ASSERT_TRUE(third.error);
  EXPECT_EQ(third.error->code, fp::errorCode::excludedFromSync);
  EXPECT_EQ(third.error->localizedDescription,
            "Could not add big.bin after 3 attempts: " + first.error->localizedDescription.value_or(""));
  EXPECT_EQ(companion.requestCount(), 0u);
}

TEST_F(CreateRetries, ConcurrentFailuresOfOneFileAreCountedOnce) {
  companion.script(ingestPath, failure(500, "boom"));
  TempFile contents("race.pdf", "bytes");
  std::latch start(2);
  ChangeResult results[2];
  std::thread workers[2];
  for (int i = 0; i < 2; ++i) {
    workers[i] = std::thread([&, i] {
      start.arrive_and_wait();
      results[i] = ChangeResult{};
      provider.createItem(HostItem("", "device-only", "race.pdf"), {}, contents.path(), {}, {},
                          recordChange(results[i]));
    });
  }
  for (auto& worker : workers) worker.join();
  for (const auto& result : results) {
    EXPECT_EQ(result.calls, 1);
    EXPECT_EQ(result.error, boom);
  }
  EXPECT_EQ(AttemptLedger::shared().count("device-only/race.pdf"), 2);
}

}  // namespace
}  // namespace ostrel::testing
