#pragma once

#include <spdlog/spdlog.h>

namespace ostrel::companion {

// The companion's one logger, on standard error.
spdlog::logger& companionLog();

}  // namespace ostrel::companion
