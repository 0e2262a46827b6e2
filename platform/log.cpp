#include "platform/log.hpp"

#include <spdlog/sinks/stdout_sinks.h>

#include <memory>
#include <string>

namespace ostrel::platform {

spdlog::logger& providerLog() {
  static std::shared_ptr<spdlog::logger> logger = [] {
    auto sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    auto made = std::make_shared<spdlog::logger>(std::string(logSubsystem) + "." + logCategory, sink);
    made->set_pattern(std::string("%Y-%m-%d %H:%M:%S.%e ") + logSubsystem + " [" + logCategory +
                      "] %l: %v");
    made->set_level(spdlog::level::info);
    return made;
  }();
  return *logger;
}

}  // namespace ostrel::platform
