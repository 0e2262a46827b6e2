#pragma once

#include <optional>
#include <string>
#include <tuple>
#include <utility>

namespace ostrel::host::call {

// Keeps what a completion handler received and how often it was called; the
// host reports anything but exactly one call instead of trusting it.
template <typename... Args>
class Recorder {
 public:
  auto handler() {
    return [this](Args... args) {
      ++calls_;
      if (!values_) values_.emplace(std::move(args)...);
    };
  }
  int calls() const { return calls_; }
  bool once() const { return calls_ == 1; }
  std::tuple<Args...>& values() { return *values_; }

  std::string problem(const char* name) const {
    return std::string("the extension called the ") + name + " completion " + std::to_string(calls_) +
           " times";
  }

 private:
  int calls_ = 0;
  std::optional<std::tuple<Args...>> values_;
};

}  // namespace ostrel::host::call
