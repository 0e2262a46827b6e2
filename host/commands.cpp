#include "host/commands.hpp"

#include <array>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/call/call.hpp"
#include "host/call/run.hpp"
#include "host/exit_status.hpp"
#include "host/serve/domain_state.hpp"
#include "host/serve/serve_loop.hpp"
#include "host/serve/status_report.hpp"

namespace ostrel::host {

namespace {

using Subcommand = int (*)(std::span<const std::string> words);

int callCommand(std::span<const std::string> words) { return call::run(words, std::cin, std::cout, std::cerr); }

int serveCommand(std::span<const std::string> words) {
#ifdef OSTREL_FPHOST_MOUNTS
  return runServe(words, makeDomainMount, std::cerr);
#else
  (void)words;
  std::cerr << "ostrel-fphost serve: this build cannot mount folders\n";
  return exitUnavailable;
#endif
}

int statusCommand(std::span<const std::string> words) {
  if (!words.empty()) {
    std::cerr << "ostrel-fphost status: takes no arguments\nusage:\n    ostrel-fphost status\n";
    return exitUsage;
  }
  try {
    std::cout << statusReport(serveStateFolder()) << "\n";
    return exitOk;
  } catch (const std::exception& error) {
    std::cerr << "ostrel-fphost status: " << error.what() << "\n";
    return exitServeFailed;
  }
}

struct Entry {
  std::string_view name;
  Subcommand run;
};

// Every subcommand the host has.
constexpr std::array<Entry, 3> subcommands{{
    {"call",   callCommand},
    {"serve",  serveCommand},
    {"status", statusCommand},
}};

void usage(std::ostream& out) {
  out << "usage:\n"
      << call::callSynopsis
      << serveSynopsis
      << "    mounts each registered domain at DIR/<display name> (default $HOME/CloudStorage)\n"
      << "    and answers ostrel-fpctl on $XDG_RUNTIME_DIR/ostrel/fphost.sock until SIGINT or SIGTERM\n"
      << "  ostrel-fphost status\n"
      << "    prints the registered domains with the files still on their way into the vault,\n"
      << "    as one JSON object\n"
      << "\n"
      << "Each call prints one JSON object on standard output; logs go to standard error.\n"
      << "exit status: 0 every call completed without error, 1 a call's completion carried\n"
      << "an error, 64 usage error, 69 subcommand not available in this build;\n"
      << "serve: 0 stopped by a signal, 71 could not set up, 75 another serve is already listening\n";
}

}  // namespace

int dispatch(int argc, char** argv) {
  std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (words.empty()) {
    usage(std::cerr);
    return exitUsage;
  }
  if (words.front() == "--help" || words.front() == "-h" || words.front() == "help") {
    usage(std::cout);
    return exitOk;
  }
  for (const Entry& entry : subcommands) {
    if (entry.name == words.front()) return entry.run(std::span<const std::string>(words).subspan(1));
  }
  std::cerr << "ostrel-fphost: unknown subcommand \"" << words.front() << "\"\n";
  usage(std::cerr);
  return exitUsage;
}

}  // namespace ostrel::host
