#include <gtest/gtest.h>

#include "tests/fpctl/tool_run.hpp"

namespace ostrel::testing {
namespace {

using nlohmann::json;

const std::string kWorkingSet = "NSFileProviderWorkingSetContainerItemIdentifier";
const json kAllFour = {"NSFileProviderWorkingSetContainerItemIdentifier", "cloud-only",
                       "device-and-cloud", "device-only"};  // sorted, as compared
const std::vector<std::string> kSignalledInOrder{kWorkingSet, "device-only", "device-and-cloud",
                                                 "cloud-only"};

Reply fails(std::string description) { return {hostError(-1004, std::move(description))}; }

struct SignalCase {
  std::string name;
  HostScript script;
  json expected;
  int exit = 0;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class SignalTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalTest, PrintsTheOutcome) {
  const SignalCase& c = GetParam();
  ToolRun run = runTool(c.script, fpctl::cmdSignal);
  EXPECT_EQ(run.out, c.expected);
  EXPECT_EQ(run.exit, c.exit);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, SignalTest,
    ::testing::Values(
        SignalCase{"AllSignalledAtOnce", {.domains = {"ostrel"}},
                   {{"ok", true}, {"signalled", kAllFour}, {"failed", json::object()},
                    {"errorResolved", "serverUnreachable"}},
                   0},
        SignalCase{"WorkingSetFailsResidencySucceeds",
                   {.domains = {"ostrel"}, .signals = {{kWorkingSet, fails("No working set.")}}},
                   {{"ok", true},
                    {"signalled", {"cloud-only", "device-and-cloud", "device-only"}},
                    {"failed", {{kWorkingSet, "No working set."}}},
                    {"errorResolved", "serverUnreachable"}},
                   0},
        SignalCase{"AllFourFail",
                   {.domains = {"ostrel"},
                    .signals = {{kWorkingSet, fails("w")},
                                {"device-only", fails("d")},
                                {"device-and-cloud", fails("dc")},
                                {"cloud-only", {hostError(-1, "c"), Timing::now}}}},
                   {{"ok", false}, {"code", "signal_failed"},
                    {"error", "no container could be signalled"},
                    {"failed", {{kWorkingSet, "w"}, {"device-only", "d"},
                                {"device-and-cloud", "dc"}, {"cloud-only", "c"}}}},
                   8},
        SignalCase{"ResolutionRefusedStillSignals",
                   {.domains = {"ostrel"}, .resolve = fails("Cannot resolve.")},
                   {{"ok", true}, {"signalled", kAllFour}, {"failed", json::object()},
                    {"errorResolved", "failed: Cannot resolve."}},
                   0},
        SignalCase{"ResolutionUnansweredStillSignals",
                   {.domains = {"ostrel"}, .resolve = {std::nullopt, Timing::late}},
                   {{"ok", true}, {"signalled", kAllFour}, {"failed", json::object()},
                    {"errorResolved", "failed: timeout"}},
                   0},
        SignalCase{"ResolutionRefusedWithoutDescription",
                   {.domains = {"ostrel"},
                    .resolve = {fp::Error{"NSFileProviderErrorDomain", -2001, ""}}},
                   {{"ok", true}, {"signalled", kAllFour}, {"failed", json::object()},
                    {"errorResolved",
                     "failed: The operation couldn\u2019t be completed. "
                     "(NSFileProviderErrorDomain error -2001.)"}},
                   0},
        SignalCase{"OneContainerNeverAnswers",
                   {.domains = {"ostrel"},
                    .signals = {{"device-and-cloud", {std::nullopt, Timing::never}}}},
                   {{"ok", false}, {"code", "timeout"}, {"error", kTimedOut},
                    {"signalled", {kWorkingSet, "cloud-only", "device-only"}}},
                   3},
        SignalCase{"OneContainerAnswersTooLate",
                   {.domains = {"ostrel"},
                    .signals = {{"cloud-only", {std::nullopt, Timing::late}},
                                {"device-only", fails("d")}}},
                   {{"ok", false}, {"code", "timeout"}, {"error", kTimedOut},
                    {"signalled", {kWorkingSet, "device-and-cloud"}}},
                   3}),
    [](const auto& test) { return test.param.name; });

TEST(Signal, NotRegisteredAsksForNoManager) {
  ToolRun run = runTool({{"other"}}, fpctl::cmdSignal);
  EXPECT_EQ(run.out, (json{{"ok", false}, {"code", "not_registered"},
                           {"error", "the Ostrel domain is not registered; nothing to signal"}}));
  EXPECT_EQ(run.exit, 6);
  EXPECT_EQ(run.record.calls, std::vector<std::string>{"list"});
}

TEST(Signal, NoManagerSignalsNothing) {
  ToolRun run = runTool({.domains = {"ostrel"}, .hasManager = false}, fpctl::cmdSignal);
  EXPECT_EQ(run.out, (json{{"ok", false}, {"code", "no_manager"},
                           {"error", "could not open a file-provider manager for the Ostrel domain"}}));
  EXPECT_EQ(run.exit, 7);
  EXPECT_EQ(run.record.calls, (std::vector<std::string>{"list", "manager ostrel"}));
}

TEST(Signal, ResolvesServerUnreachableBeforeSignallingEachContainerOnce) {
  ToolRun run = runTool({.domains = {"ostrel"}, .resolve = {std::nullopt, Timing::now}},
                        fpctl::cmdSignal);
  EXPECT_EQ(run.record.calls, (std::vector<std::string>{"list", "manager ostrel", "resolve",
                                                        "signal", "signal", "signal", "signal"}));
  ASSERT_EQ(run.record.resolved.size(), 1u);
  EXPECT_EQ(run.record.resolved[0],
            (fp::Error{"NSFileProviderErrorDomain", -1004, std::nullopt}));
  EXPECT_EQ(run.record.signalled, kSignalledInOrder);
}

}  // namespace
}  // namespace ostrel::testing
