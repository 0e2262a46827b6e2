#pragma once

#include <spdlog/sinks/ringbuffer_sink.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/log.hpp"

namespace ostrel::testing {

// The extension's log lines while the object lives, as "level|message".
class LogCapture {
 public:
  LogCapture() : sink_(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(256)) {
    sink_->set_pattern("%l|%v");
    platform::providerLog().sinks().push_back(sink_);
  }
  ~LogCapture() {
    auto& sinks = platform::providerLog().sinks();
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const {
    auto lines = sink_->last_formatted();
    for (auto& line : lines) {
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    }
    return lines;
  }

 private:
  std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink_;
};

}  // namespace ostrel::testing
