#include <gtest/gtest.h>

#include "tests/fpctl/tool_run.hpp"

namespace ostrel::testing {
namespace {

using nlohmann::json;

struct StatusCase {
  std::string name;
  HostScript script;
  fpctl::LocationVerdict verdict;
  json expected;
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTest, ReportsWithoutChangingAnything) {
  const StatusCase& c = GetParam();
  ToolRun run = runTool(c.script, fpctl::cmdStatus, c.verdict);
  EXPECT_EQ(run.out, c.expected);
  EXPECT_EQ(run.exit, 0);
  EXPECT_EQ(run.record.calls, std::vector<std::string>{"list"});
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, StatusTest,
    ::testing::Values(
        StatusCase{"UnregisteredOutsideApplications", {{"other"}}, kDownloads,
                   {{"ok", true}, {"registered", false}, {"domains", json::array()},
                    {"eligible", false}, {"reason", *kDownloads.reason}}},
        StatusCase{"RegisteredInApplications", {{"other", "ostrel"}}, kEligible,
                   {{"ok", true}, {"registered", true}, {"domains", {"ostrel"}},
                    {"eligible", true}, {"reason", nullptr}}},
        StatusCase{"UnansweredListing", {{"ostrel"}, Timing::never}, kEligible,
                   {{"ok", true}, {"registered", false}, {"domains", json::array()},
                    {"eligible", true}, {"reason", nullptr}}}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ostrel::testing
