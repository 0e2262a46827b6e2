#pragma once

#include <array>
#include <string_view>

namespace ostrel::fpctl {

inline constexpr std::string_view DOMAIN_ID = "ostrel";
inline constexpr std::string_view DOMAIN_DISPLAY_NAME = "Ostrel";
inline constexpr std::array<std::string_view, 3> RESIDENCY_SLUGS = {
    "device-only", "device-and-cloud", "cloud-only"};
// Seconds; the longest the tool waits for any one answer of the host.
inline constexpr double TIMEOUT = 25.0;

inline constexpr std::string_view WORKING_SET_CONTAINER =
    "NSFileProviderWorkingSetContainerItemIdentifier";

}  // namespace ostrel::fpctl
