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
#include "host/serve/serve_loop.hpp"

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

struct Entry {
  std::string_view name;
  Subcommand run;
};

// Every subcommand the host has.
constexpr std::array<Entry, 2> subcommands{{
    {"call",  callCommand},
    {"serve", serveCommand},
}};

void usage(std::ostream& out) {
  out << "usage:\n"
      << call::callSynopsis
      << serveSynopsis
      << "    mounts each registered domain at DIR/<display name> (default $HOME/CloudStorage)\n"
      << "    and answers ostrel-fpctl on $XDG_RUNTIME_DIR/ostrel/fphost.sock until SIGINT or SIGTERM\n"
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
