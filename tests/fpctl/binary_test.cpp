// Runs the built tool as a user would, with no host to talk to.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
  std::string stdoutText;
  int exit = -1;
};

std::string quoted(const std::string& arg) {
  std::string out = "'";
  for (char ch : arg) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return out + "'";
}

Result runShell(const std::string& command) {
  Result result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.stdoutText.append(buffer, n);
  int status = ::pclose(pipe);
  result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

Result runTool(const std::vector<std::string>& args) {
  // An empty runtime folder: no control socket, so no host answers.
  static const fs::path runtime = [] {
    fs::path dir = fs::temp_directory_path() / ("fpctl-runtime-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
  }();
  std::string command = "XDG_RUNTIME_DIR=" + quoted(runtime.string()) + " " + quoted(OSTREL_FPCTL);
  for (const auto& arg : args) command += " " + quoted(arg);
  return runShell(command);
}

// Exactly one line holding one JSON object, and nothing else.
json theOneLine(const Result& result) {
  const std::string& text = result.stdoutText;
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
  json object = json::parse(text, nullptr, /*allow_exceptions=*/false);
  EXPECT_TRUE(object.is_object()) << text;
  return object;
}

struct BinaryCase {
  std::string name;
  std::vector<std::string> args;
  json expected;
  int exit = 0;
};

void PrintTo(const BinaryCase& c, std::ostream* os) { *os << c.name; }

class Binary : public ::testing::TestWithParam<BinaryCase> {};

TEST_P(Binary, PrintsOneJsonLine) {
  Result result = runTool(GetParam().args);
  EXPECT_EQ(theOneLine(result), GetParam().expected);
  EXPECT_EQ(result.exit, GetParam().exit);
}

INSTANTIATE_TEST_SUITE_P(
    Dispatcher, Binary,
    ::testing::Values(
        BinaryCase{"NoArguments", {},
                   {{"ok", false}, {"error", "usage: ostrel-fpctl <register|unregister|status|signal>"}},
                   64},
        BinaryCase{"DifferentlyCased", {"Register"},
                   {{"ok", false}, {"error", "unknown command 'Register'"}}, 64},
        BinaryCase{"Abbreviated", {"reg", "status"},
                   {{"ok", false}, {"error", "unknown command 'reg'"}}, 64},
        BinaryCase{"OptionBeforeTheCommand", {"--keep=dirty", "unregister"},
                   {{"ok", false}, {"error", "unknown command '--keep=dirty'"}}, 64},
        BinaryCase{"InvalidUtf8IsReplacedNotDropped", {"\xff" "x"},
                   {{"ok", false}, {"error", "unknown command '\xEF\xBF\xBDx'"}}, 64},
        BinaryCase{"SignalWithoutHost", {"signal", "extra"},
                   {{"ok", false}, {"code", "not_registered"},
                    {"error", "the Ostrel domain is not registered; nothing to signal"}},
                   6},
        BinaryCase{"UnregisterWithoutHost", {"unregister", "--keep=dirty"},
                   {{"ok", true}, {"registered", false}, {"wasPresent", false}}, 0}),
    [](const auto& test) { return test.param.name; });

TEST(BinaryStatus, FromTheBuildFolderIsNotEligibleAndNamesTheFolder) {
  fs::path exe = fs::canonical(OSTREL_FPCTL);
  Result result = runTool({"status"});
  json expected = {{"ok", true},
                   {"registered", false},
                   {"domains", json::array()},
                   {"eligible", false},
                   {"reason",
                    "Ostrel must be in your Applications folder for the Ostrel folder in Finder to "
                    "work. It is currently in " +
                        exe.parent_path().parent_path().string() + "."}};
  EXPECT_EQ(theOneLine(result), expected);
  EXPECT_EQ(result.exit, 0);
  EXPECT_EQ(theOneLine(runTool({"status", "--keep=dirty", "x"})), expected);
}

TEST(BinaryRegister, WithoutHostFailsAtOnceWithTheReason) {
  // Installed under a home Applications folder, so the add request is made.
  fs::path home = fs::temp_directory_path() / ("fpctl-home-" + std::to_string(::getpid()));
  fs::path bin = home / "Applications" / "Ostrel.app" / "Contents" / "MacOS";
  fs::create_directories(bin);
  fs::copy_file(OSTREL_FPCTL, bin / "ostrel-fpctl", fs::copy_options::overwrite_existing);
  std::string command = "env HOME=" + quoted(home.string()) + " XDG_RUNTIME_DIR=" +
                        quoted(home.string()) + " " + quoted((bin / "ostrel-fpctl").string()) +
                        " register";
  Result result = runShell(command);
  fs::remove_all(home);

  json out = theOneLine(result);
  EXPECT_EQ(result.exit, 4);
  EXPECT_EQ(out["code"], "add_failed");
  EXPECT_EQ(out["osCode"], 2);  // ENOENT: no socket
  EXPECT_NE(out["error"].get<std::string>().find("ostrel-fphost serve"), std::string::npos);
}

}  // namespace
