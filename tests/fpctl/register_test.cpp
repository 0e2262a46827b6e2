#include <gtest/gtest.h>

#include "tests/fpctl/tool_run.hpp"

namespace ostrel::testing {
namespace {

using nlohmann::json;

const std::string kHint =
    " Ostrel may not be in your Applications folder, or the extension was not installed with the "
    "app.";

struct RegisterCase {
  std::string name;
  HostScript script;
  fpctl::LocationVerdict verdict = kEligible;
  json expected;
  int exit = 0;
  std::vector<std::string> calls;
};

void PrintTo(const RegisterCase& c, std::ostream* os) { *os << c.name; }

class RegisterTest : public ::testing::TestWithParam<RegisterCase> {};

TEST_P(RegisterTest, PrintsTheOutcome) {
  const RegisterCase& c = GetParam();
  ToolRun run = runTool(c.script, fpctl::cmdRegister, c.verdict);
  EXPECT_EQ(run.out, c.expected);
  EXPECT_EQ(run.exit, c.exit);
  EXPECT_EQ(run.record.calls, c.calls);
}

const std::vector<std::string> kListAndAdd{"list", "add ostrel/Ostrel"};

INSTANTIATE_TEST_SUITE_P(
    Outputs, RegisterTest,
    ::testing::Values(
        RegisterCase{"OutsideApplicationsAsksNothing", {{"ostrel"}}, kDownloads,
                     {{"ok", false}, {"code", "not_in_applications"}, {"error", *kDownloads.reason}},
                     2, {}},
        RegisterCase{"AlreadyListedAddsNothing", {{"other", "ostrel"}}, kEligible,
                     {{"ok", true}, {"registered", true}, {"alreadyPresent", true}}, 0, {"list"}},
        RegisterCase{"OnlyLookalikesListed", {{"Ostrel", "ostrel2"}}, kEligible,
                     {{"ok", true}, {"registered", true}, {"alreadyPresent", false}}, 0,
                     kListAndAdd},
        RegisterCase{"AddedAtOnce", {.add = {.timing = Timing::now}}, kEligible,
                     {{"ok", true}, {"registered", true}, {"alreadyPresent", false}}, 0,
                     kListAndAdd},
        RegisterCase{"UnansweredListingStillAdds", {.listTiming = Timing::never}, kEligible,
                     {{"ok", true}, {"registered", true}, {"alreadyPresent", false}}, 0,
                     kListAndAdd},
        RegisterCase{"AddNeverAnswered", {.add = {.timing = Timing::never}}, kEligible,
                     {{"ok", false}, {"code", "timeout"}, {"error", kTimedOut}}, 3, kListAndAdd},
        RegisterCase{"AddAnsweredTooLate", {.add = {.timing = Timing::late}}, kEligible,
                     {{"ok", false}, {"code", "timeout"}, {"error", kTimedOut}}, 3, kListAndAdd},
        RegisterCase{"ProviderNotFoundGetsTheHint",
                     {.add = {hostError(-2001, "The provider was not found.")}}, kEligible,
                     {{"ok", false}, {"code", "add_failed"}, {"osCode", -2001},
                      {"error", "The provider was not found." + kHint}},
                     4, kListAndAdd},
        RegisterCase{"ExtensionNotFoundGetsTheHint",
                     {.add = {fp::Error{"OtherDomain", -2014, "No extension."}}}, kEligible,
                     {{"ok", false}, {"code", "add_failed"}, {"osCode", -2014},
                      {"error", "No extension." + kHint}},
                     4, kListAndAdd},
        RegisterCase{"OtherRefusalIsPassedThrough",
                     {.add = {hostError(-2011, "Not allowed.")}}, kEligible,
                     {{"ok", false}, {"code", "add_failed"}, {"osCode", -2011},
                      {"error", "Not allowed."}},
                     4, kListAndAdd},
        RegisterCase{"RefusalWithoutDescriptionStillSaysWhy",
                     {.add = {fp::Error{"NSFileProviderErrorDomain", -2011, std::nullopt}}},
                     kEligible,
                     {{"ok", false}, {"code", "add_failed"}, {"osCode", -2011},
                      {"error",
                       "The operation couldn\u2019t be completed. (NSFileProviderErrorDomain "
                       "error -2011.)"}},
                     4, kListAndAdd}),
    [](const auto& test) { return test.param.name; });

TEST(TimeoutText, WritesTheWaitInWholeSeconds) {
  EXPECT_EQ(fpctl::didNotAnswerWithin(fpctl::Seconds(fpctl::TIMEOUT)),
            "the system did not answer within 25s");
}

}  // namespace
}  // namespace ostrel::testing
