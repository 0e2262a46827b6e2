#include <gtest/gtest.h>

#include "tests/fpctl/tool_run.hpp"

namespace ostrel::testing {
namespace {

using nlohmann::json;

struct DispatchCase {
  std::string name;
  std::vector<std::string> args;
  std::vector<std::string> calls;  // what reached the host
};

void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.name; }

class Dispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(Dispatch, RunsTheNamedCommand) {
  const DispatchCase& c = GetParam();
  ToolRun run = runTool({.domains = {"ostrel"}, .removals = {{}}, .resolve = {},
                         .signals = {}},
                        [&](const fpctl::Context& context) { return fpctl::dispatch(c.args, context); });
  EXPECT_EQ(run.record.calls, c.calls);
}

const std::vector<std::string> kSignal{"list", "manager ostrel", "resolve",
                                       "signal", "signal", "signal", "signal"};

INSTANTIATE_TEST_SUITE_P(
    Commands, Dispatch,
    ::testing::Values(
        DispatchCase{"Register", {"ostrel-fpctl", "register", "--force"}, {"list"}},
        DispatchCase{"UnregisterDefault", {"ostrel-fpctl", "unregister"}, {"list", "remove ostrel 2"}},
        DispatchCase{"KeepDirtyAnywhereAfter",
                     {"ostrel-fpctl", "unregister", "-v", "--keep=dirty", "x"},
                     {"list", "remove ostrel 1"}},
        DispatchCase{"OtherFormsOfKeepIgnored",
                     {"ostrel-fpctl", "unregister", "--keep", "--keep=Dirty", "keep=dirty"},
                     {"list", "remove ostrel 2"}},
        DispatchCase{"Status", {"ostrel-fpctl", "status", "--keep=dirty"}, {"list"}},
        DispatchCase{"Signal", {"ostrel-fpctl", "signal", "now"}, kSignal},
        DispatchCase{"KeepDirtyBeforeTheCommand", {"ostrel-fpctl", "--keep=dirty", "unregister"}, {}},
        DispatchCase{"DifferentlyCased", {"ostrel-fpctl", "Status"}, {}}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ostrel::testing
