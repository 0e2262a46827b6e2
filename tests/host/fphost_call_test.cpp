// Runs the built ostrel-fphost as a real process against a test companion
// that this test process hosts; the child finds it through XDG_DATA_HOME.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tests/host/run_process.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel::testing {
namespace {

using nlohmann::json;

const std::string root = "NSFileProviderRootContainerItemIdentifier";
const std::string enumeratePath = "/vault/finder/enumerate";

json record(const std::string& id, const std::string& residency, std::optional<std::string> folder = std::nullopt) {
  json file = {{"id", id},        {"filename", "a.txt"},    {"size", 5},
               {"modifiedAt", 10.5}, {"residency", residency}, {"materialized", false}};
  if (folder) file["folder"] = *folder;
  return file;
}

ScriptedReply listing(const std::vector<json>& files) { return ScriptedReply{.body = json{{"ok", true}, {"files", files}}.dump()}; }

std::vector<json> jsonLines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

json residencyFolder(const std::string& slug, const std::string& name) {
  return {{"itemIdentifier", slug}, {"parentItemIdentifier", root}, {"filename", name},
          {"contentType", "inode/directory"}, {"capabilities", 3}, {"contentVersion", "1"},
          {"metadataVersion", "1"}};
}

json error(std::int64_t code, std::optional<std::string> description = std::nullopt) {
  json e = {{"domain", "NSFileProviderErrorDomain"}, {"code", code}};
  if (description) e["description"] = *description;
  return {{"error", e}};
}

struct HostRun {
  std::string name{};
  std::vector<std::string> args{};
  std::string input{};
  std::function<void(TestCompanion&, HandshakeHome&)> setup{};
  int exit = 0;
  std::vector<json> lines{};
  std::optional<std::size_t> requests{};
};

std::ostream& operator<<(std::ostream& out, const HostRun& c) { return out << c.name; }

class FphostCall : public ::testing::TestWithParam<HostRun> {
 protected:
  FphostCall() { home.write(companion.port()); }
  TestCompanion companion;
  HandshakeHome home;
};

TEST_P(FphostCall, PrintsOneObjectPerCallAndExitsWithItsStatus) {
  const HostRun& c = GetParam();
  if (c.setup) c.setup(companion, home);

  ProcessResult run = runProcess(OSTREL_FPHOST_PATH, c.args, c.input);

  EXPECT_EQ(run.exitStatus, c.exit) << run.err;
  EXPECT_EQ(jsonLines(run.out), c.lines) << run.out;
  if (c.requests) {
    EXPECT_EQ(companion.requestCount(), *c.requests);
  }
}

const std::vector<json> rootListing = {json{{"items", {residencyFolder("device-only", "Device only"),
                                                       residencyFolder("device-and-cloud", "Device + Cloud"),
                                                       residencyFolder("cloud-only", "Cloud only")}}}};

const json fileItem = {{"itemIdentifier", "f1"},
                       {"parentItemIdentifier", "dir:cloud-only/x"},
                       {"filename", "a.txt"},
                       {"contentType", "text/plain"},
                       {"capabilities", 5},
                       {"contentVersion", "5-10.5"},
                       {"metadataVersion", "5-10.5"},
                       {"documentSize", 5},
                       {"contentModificationDate", 10.5},
                       {"isDownloaded", false},
                       {"isMostRecentVersionDownloaded", false}};

void listsF1InCloudOnly(TestCompanion& companion, HandshakeHome&) {
  companion.scriptOnce(enumeratePath, listing({}));
  companion.scriptOnce(enumeratePath, listing({}));
  companion.scriptOnce(enumeratePath, listing({record("f1", "cloud-only", "x")}));
}

void appNotRunning(TestCompanion&, HandshakeHome& home) { home.removeHandshake(); }

const std::string notRunning = "Ostrel isn\u2019t running. Open Ostrel to use this folder.";

INSTANTIATE_TEST_SUITE_P(
    Calls, FphostCall,
    ::testing::Values(
        HostRun{.name = "listRootWithoutCompanion", .args = {"call", "list", root}, .setup = appNotRunning,
                .lines = rootListing},
        HostRun{.name = "itemOfAFile", .args = {"call", "item", "f1"}, .setup = listsF1InCloudOnly,
                .lines = {{{"item", fileItem}}}, .requests = 3},
        HostRun{.name = "itemWhileAppIsDown", .args = {"call", "item", "f1"}, .setup = appNotRunning, .exit = 1,
                .lines = {error(-1004, notRunning)}},
        HostRun{.name = "listCloudOnly", .args = {"call", "list", "cloud-only"},
                .setup = [](TestCompanion& companion,
                            HandshakeHome&) { companion.script(enumeratePath, listing({record("f1", "cloud-only", "x")})); },
                .lines = {{{"items",
                            {{{"itemIdentifier", "dir:cloud-only/x"}, {"parentItemIdentifier", "cloud-only"},
                              {"filename", "x"}, {"contentType", "inode/directory"}, {"capabilities", 3},
                              {"contentVersion", "x"}, {"metadataVersion", "x"}}}}}},
                .requests = 1},
        HostRun{.name = "unknownContainer", .args = {"call", "list", "nowhere"}, .exit = 1,
                .lines = {error(-1005)}, .requests = 0},
        HostRun{.name = "anchorOfTrash", .args = {"call", "anchor", "NSFileProviderTrashContainerItemIdentifier"},
                .lines = {{{"anchor", "74726173682f7632"}}}},
        HostRun{.name = "anchorOfUnknownContainer", .args = {"call", "anchor", "nowhere"},
                .lines = {{{"anchor", nullptr}}}},
        HostRun{.name = "changesUpToDate", .args = {"call", "changes", root, "726f6f742f7632"},
                .lines = {{{"anchor", "726f6f742f7632"}, {"moreComing", false}}}},
        HostRun{.name = "changesExpired", .args = {"call", "changes", root, "00"}, .exit = 1,
                .lines = {error(-1002)}},
        HostRun{.name = "createFolder", .args = {"call", "create", "dir:device-only/P", "Notes", "--folder"},
                .lines = {{{"item",
                            {{"itemIdentifier", "dir:device-only/P/Notes"}, {"parentItemIdentifier", "dir:device-only/P"},
                             {"filename", "Notes"}, {"contentType", "inode/directory"}, {"capabilities", 3},
                             {"contentVersion", "P/Notes"}, {"metadataVersion", "P/Notes"}}}}},
                .requests = 0},
        HostRun{.name = "createWithoutContents", .args = {"call", "create", "device-only", "a.pdf"}, .exit = 1,
                .lines = {error(-2010, "No file contents were supplied for a.pdf.")}},
        HostRun{.name = "renameIsDeclined", .args = {"call", "modify", "f1", "device-only", "b.txt", "--changed",
                                                     "filename"},
                .exit = 1, .lines = {error(-1000)}, .requests = 0},
        HostRun{.name = "moveHandsBackTheProposedItem",
                .args = {"call", "modify", "f1", "dir:cloud-only/P", "b.txt", "--changed",
                         "parentItemIdentifier,filename"},
                .setup = [](TestCompanion& companion,
                            HandshakeHome&) { companion.script("/vault/finder/reparent", ScriptedReply{}); },
                .lines = {{{"item",
                            {{"itemIdentifier", "f1"}, {"parentItemIdentifier", "dir:cloud-only/P"},
                             {"filename", "b.txt"}, {"contentType", nullptr}, {"capabilities", nullptr},
                             {"contentVersion", nullptr}, {"metadataVersion", nullptr}}}}},
                .requests = 1},
        HostRun{.name = "delete", .args = {"call", "delete", "f1"}, .exit = 1, .lines = {error(-1000)}},
        HostRun{.name = "usageError", .args = {"call", "item"}, .exit = 64},
        HostRun{.name = "unknownSubcommand", .args = {"mount"}, .exit = 64},
        HostRun{.name = "noArguments", .args = {}, .exit = 64},
        HostRun{.name = "serveRejectsAnUnknownOption", .args = {"serve", "--no-such-option"}, .exit = 64},
        // One process: the second anchor request meets the same enumerator,
        // whose fingerprint is still fresh, so only one listing is asked for.
        HostRun{.name = "batchKeepsOneEnumeratorPerContainer", .args = {"call", "-"},
                .input = "anchor cloud-only\n\n# a comment\nanchor cloud-only\nchanges cloud-only 00\n",
                .setup = [](TestCompanion& companion,
                            HandshakeHome&) { companion.script(enumeratePath, listing({})); },
                .exit = 1,
                .lines = {{{"anchor", "2ed3450357c2db8d2d7b7d3bb93692542dc0798f9542774b79beb1b8107ebee9"}},
                          {{"anchor", "2ed3450357c2db8d2d7b7d3bb93692542dc0798f9542774b79beb1b8107ebee9"}},
                          error(-1002)},
                .requests = 1},
        HostRun{.name = "batchStopsAtAUsageError", .args = {"call", "-"},
                .input = "list " + root + "\nitem\nlist " + root + "\n", .exit = 64, .lines = rootListing},
        HostRun{.name = "batchOfGoodCallsExitsZero", .args = {"call", "-"},
                .input = "list " + root + "\n'list' \"" + root + "\"\n", .lines = {rootListing[0], rootListing[0]}}),
    [](const auto& param) { return param.param.name; });

TEST(FphostFetch, WritesTheBytesAndPrintsTheLocation) {
  TestCompanion companion;
  HandshakeHome home;
  home.write(companion.port());
  companion.script("/vault/finder/content",
                   ScriptedReply{.body = "the bytes", .contentType = "application/octet-stream"});
  listsF1InCloudOnly(companion, home);

  ProcessResult run = runProcess(OSTREL_FPHOST_PATH, {"call", "fetch", "f1"});

  ASSERT_EQ(run.exitStatus, 0) << run.err;
  auto lines = jsonLines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["item"], fileItem);
  std::filesystem::path url = lines[0]["url"].get<std::string>();
  EXPECT_EQ(url.parent_path(), std::filesystem::temp_directory_path());
  std::ifstream file(url, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "the bytes");
  std::filesystem::remove(url);
}

TEST(FphostCreate, IngestsTheContentsFile) {
  TestCompanion companion;
  HandshakeHome home;
  home.write(companion.port());
  companion.script("/vault/finder/ingest", ScriptedReply{.body = R"({"ok":true,"id":"new-1"})"});
  TempFile contents("drop.txt", "dropped");

  ProcessResult run = runProcess(OSTREL_FPHOST_PATH, {"call", "create", "dir:device-only/P", "drop.txt",
                                                      "--contents", contents.path().string()});

  ASSERT_EQ(run.exitStatus, 0) << run.err;
  auto lines = jsonLines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["item"]["itemIdentifier"], "new-1");
  EXPECT_EQ(lines[0]["item"]["parentItemIdentifier"], "dir:device-only/P");
  EXPECT_EQ(lines[0]["item"]["documentSize"], 7);
  EXPECT_EQ(lines[0]["item"]["isDownloaded"], true);
  auto requests = companion.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(json::parse(requests[0].body)["folder"], "P");
  EXPECT_NE(run.err.find("ingested drop.txt into device-only as new-1"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace ostrel::testing
