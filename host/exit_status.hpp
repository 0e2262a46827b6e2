#pragma once

namespace ostrel::host {

// Exit statuses of ostrel-fphost; 64 and 69 as in sysexits.h.
inline constexpr int exitOk = 0;
inline constexpr int exitCallFailed = 1;   // a completion carried an error
inline constexpr int exitUsage = 64;
inline constexpr int exitUnavailable = 69;  // a subcommand this build does not provide yet

}  // namespace ostrel::host
