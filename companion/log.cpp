#include "companion/log.hpp"

#include <spdlog/sinks/stdout_sinks.h>

#include <memory>

namespace ostrel::companion {

spdlog::logger& companionLog() {
  static std::shared_ptr<spdlog::logger> logger = [] {
    auto made = std::make_shared<spdlog::logger>("ostrel-companion", std::make_shared<spdlog::sinks::stderr_sink_mt>());
    made->set_pattern("%Y-%m-%d %H:%M:%S.%e ostrel-companion %l: %v");
    made->set_level(spdlog::level::info);
    return made;
  }();
  return *logger;
}

}  // namespace ostrel::companion
