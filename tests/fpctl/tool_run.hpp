#pragma once

// Runs one command of the tool in-process against the fake host.

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "fpctl/commands.hpp"
#include "tests/fpctl/fake_domain_manager.hpp"

namespace ostrel::testing {

// Short enough that a timeout case takes a moment; late answers come after it.
inline constexpr std::chrono::milliseconds kWait{150};
inline constexpr std::chrono::milliseconds kLate{450};

inline const fpctl::LocationVerdict kEligible{true, std::nullopt};
inline const fpctl::LocationVerdict kDownloads{
    false,
    "Ostrel must be in your Applications folder for the Ostrel folder in Finder to work. It is "
    "currently in /home/u/Downloads."};

struct ToolRun {
  nlohmann::json out;  // as printed, read back
  int exit = -1;
  HostRecord record;
};

inline fp::Error hostError(std::int64_t code, std::string description) {
  return {"NSFileProviderErrorDomain", code, std::move(description)};
}

// Arrays whose order follows the callbacks' order, sorted for comparison.
inline nlohmann::json normalised(nlohmann::json out) {
  for (const char* key : {"signalled", "preservedAt"}) {
    if (out.contains(key) && out[key].is_array()) std::sort(out[key].begin(), out[key].end());
  }
  return out;
}

inline ToolRun runTool(HostScript script,
                       const std::function<fpctl::Output(const fpctl::Context&)>& command,
                       fpctl::LocationVerdict verdict = kEligible) {
  ToolRun run;
  {
    FakeDomainManager host(std::move(script), kLate);
    fpctl::Context context{host, kWait, [verdict] { return verdict; }};
    fpctl::Output out = command(context);
    run.out = normalised(nlohmann::json::parse(fpctl::serialize(out.object)));
    run.exit = out.exit;
    run.record = host.record();
  }  // late answers land here, after the tool gave up on them
  return run;
}

inline const std::string kTimedOut = fpctl::didNotAnswerWithin(kWait);

}  // namespace ostrel::testing
