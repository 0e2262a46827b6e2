#pragma once

#include <spdlog/spdlog.h>

namespace ostrel::platform {

inline constexpr const char* logSubsystem = "com.ostrel.app.fileprovider";
inline constexpr const char* logCategory = "provider";

// The extension's one logger: subsystem and category on every line, standard
// error by default.
spdlog::logger& providerLog();

}  // namespace ostrel::platform
