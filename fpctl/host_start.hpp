#pragma once

// Starts `ostrel-fphost serve` when no host answers, so that registering is
// all a user has to do.

#include <chrono>
#include <filesystem>
#include <functional>

namespace ostrel::fpctl {

// The host lying beside the running tool (its resolved path), or nothing.
std::filesystem::path siblingHost();

// A starter for ControlSocketClient: the first call launches `host serve`
// detached (own session, output appended to `log`) and waits, at most
// `patience` and never past the deadline, for `socket` to accept; later and
// concurrent calls share that one attempt. Nothing is launched when `host`
// is empty or not executable.
std::function<bool(std::chrono::steady_clock::time_point)> hostStarter(
    std::filesystem::path host, std::filesystem::path socket, std::filesystem::path log,
    std::chrono::milliseconds patience = std::chrono::milliseconds(5000));

// ${XDG_STATE_HOME:-$HOME/.local/state}/ostrel/fphost.log
std::filesystem::path hostLogPath();

}  // namespace ostrel::fpctl
