#include "host/call/run.hpp"

#include <istream>
#include <memory>
#include <ostream>

#include "extension/provider/ostrel_file_provider.hpp"
#include "host/call/call.hpp"
#include "host/call/session.hpp"
#include "host/exit_status.hpp"

namespace ostrel::host::call {

namespace fp = platform::fileprovider;

namespace {

// The extension is loaded on the first valid call, so that a usage error
// leaves no trace in the log.
class LoadedSession {
 public:
  Outcome perform(const Call& call) {
    if (!session_) {
      provider_ = std::make_unique<OstrelFileProvider>(fp::Domain{.identifier = "ostrel", .displayName = "Ostrel"});
      session_ = std::make_unique<CallSession>(*provider_);
    }
    try {
      return session_->perform(call);
    } catch (const std::exception& error) {
      return contractBroken(std::string("the extension threw: ") + error.what());
    }
  }

 private:
  std::unique_ptr<OstrelFileProvider> provider_;
  std::unique_ptr<CallSession> session_;
};

void print(std::ostream& out, const Outcome& outcome) {
  out << serialize(outcome.object) << '\n';
  out.flush();
}

bool skipped(const std::vector<std::string>& words, const std::string& line) {
  auto first = line.find_first_not_of(" \t\r");
  return words.empty() || (first != std::string::npos && line[first] == '#');
}

}  // namespace

int run(std::span<const std::string> words, std::istream& in, std::ostream& out, std::ostream& err) {
  LoadedSession session;
  if (words.size() == 1 && words.front() == "-") {
    bool failed = false;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      try {
        auto lineWords = splitWords(line);
        if (skipped(lineWords, line)) continue;
        Outcome outcome = session.perform(parseCall(lineWords));
        print(out, outcome);
        failed = failed || outcome.failed;
      } catch (const UsageError& error) {
        err << "ostrel-fphost call: line " << number << ": " << error.what() << "\nusage:\n" << callSynopsis;
        return exitUsage;
      }
    }
    return failed ? exitCallFailed : exitOk;
  }

  Call call;
  try {
    call = parseCall(words);
  } catch (const UsageError& error) {
    err << "ostrel-fphost call: " << error.what() << "\nusage:\n" << callSynopsis;
    return exitUsage;
  }
  Outcome outcome = session.perform(call);
  print(out, outcome);
  return outcome.failed ? exitCallFailed : exitOk;
}

}  // namespace ostrel::host::call
