#include <gtest/gtest.h>

#include "tests/fpctl/tool_run.hpp"

namespace ostrel::testing {
namespace {

using nlohmann::json;

struct UnregisterCase {
  std::string name;
  HostScript script;
  bool keepDirtyOnly = false;
  json expected;
  int exit = 0;
  std::vector<std::string> calls;
};

void PrintTo(const UnregisterCase& c, std::ostream* os) { *os << c.name; }

class UnregisterTest : public ::testing::TestWithParam<UnregisterCase> {};

TEST_P(UnregisterTest, PrintsTheOutcome) {
  const UnregisterCase& c = GetParam();
  ToolRun run = runTool(c.script, [&](const fpctl::Context& context) {
    return fpctl::cmdUnregister(context, c.keepDirtyOnly);
  });
  EXPECT_EQ(run.out, c.expected);
  EXPECT_EQ(run.exit, c.exit);
  EXPECT_EQ(run.record.calls, c.calls);
}

const std::vector<std::string> kRemoveDownloaded{"list", "remove ostrel 2"};
const std::vector<std::string> kRemoveTwice{"list", "remove ostrel 2", "remove ostrel 2"};

INSTANTIATE_TEST_SUITE_P(
    Outputs, UnregisterTest,
    ::testing::Values(
        UnregisterCase{"NotRegisteredRemovesNothing", {{"other"}}, false,
                       {{"ok", true}, {"registered", false}, {"wasPresent", false}}, 0, {"list"}},
        UnregisterCase{"UnansweredListingLooksUnregistered", {{"ostrel"}, Timing::late}, false,
                       {{"ok", true}, {"registered", false}, {"wasPresent", false}}, 0, {"list"}},
        UnregisterCase{"DefaultKeepsDownloaded",
                       {.domains = {"ostrel"}, .removals = {{"/home/u/Preserved/Ostrel"}}}, false,
                       {{"ok", true}, {"registered", false}, {"wasPresent", true},
                        {"preservedAt", {"/home/u/Preserved/Ostrel"}}, {"kept", "downloaded"}},
                       0, kRemoveDownloaded},
        UnregisterCase{"KeepDirtyAsksForTheLighterMode",
                       {.domains = {"ostrel"}, .removals = {{"/p", std::nullopt, Timing::now}}},
                       true,
                       {{"ok", true}, {"registered", false}, {"wasPresent", true},
                        {"preservedAt", {"/p"}}, {"kept", "dirty"}},
                       0, {"list", "remove ostrel 1"}},
        UnregisterCase{"NoPreservedLocationGivesAnEmptyArray",
                       {.domains = {"ostrel"}, .removals = {{}}}, false,
                       {{"ok", true}, {"registered", false}, {"wasPresent", true},
                        {"preservedAt", json::array()}, {"kept", "downloaded"}},
                       0, kRemoveDownloaded},
        UnregisterCase{"Error",
                       {.domains = {"ostrel"},
                        .removals = {{std::nullopt, hostError(-2001, "No such domain.")}}},
                       false,
                       {{"ok", false}, {"code", "remove_failed"}, {"osCode", -2001},
                        {"error", "No such domain."}},
                       5, kRemoveDownloaded},
        UnregisterCase{"NeverAnswered",
                       {.domains = {"ostrel"}, .removals = {{.timing = Timing::never}}}, false,
                       {{"ok", false}, {"code", "timeout"}, {"error", "removal did not complete"}},
                       3, kRemoveDownloaded},
        UnregisterCase{"OneOfTwoAnsweredTooLate",
                       {.domains = {"ostrel", "ostrel"},
                        .removals = {{"/a"}, {"/b", std::nullopt, Timing::late}}},
                       false,
                       {{"ok", false}, {"code", "timeout"}, {"error", "removal did not complete"}},
                       3, kRemoveTwice},
        UnregisterCase{"TwoRemovedAtOnceGatherBothPaths",
                       {.domains = {"ostrel", "other", "ostrel"}, .removals = {{"/a"}, {"/b"}}},
                       false,
                       {{"ok", true}, {"registered", false}, {"wasPresent", true},
                        {"preservedAt", {"/a", "/b"}}, {"kept", "downloaded"}},
                       0, kRemoveTwice},
        UnregisterCase{"AnErrorAmongTwoWinsOverThePaths",
                       {.domains = {"ostrel", "ostrel"},
                        .removals = {{"/a"}, {std::nullopt, hostError(-1, "Busy.")}}},
                       false,
                       {{"ok", false}, {"code", "remove_failed"}, {"osCode", -1}, {"error", "Busy."}},
                       5, kRemoveTwice}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ostrel::testing
