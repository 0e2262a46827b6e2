#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace ostrel::companion {

// A misbehaviour that tests ask for: wait, then answer with a status and
// body instead of serving, or cut the connection. A fault with neither only
// delays the real answer.
struct Fault {
  std::chrono::milliseconds delay{0};
  std::optional<int> status{};
  std::string body{};
  bool drop{false};
  std::optional<int> times{};  // how many requests it hits; nothing: all of them
};

// The faults in force, by endpoint path ("*" for every endpoint).
class FaultPlan {
 public:
  void set(const std::string& path, Fault fault);
  void clear();
  // The fault for the next request to `path`, counting it against `times`.
  std::optional<Fault> take(const std::string& path);

 private:
  std::mutex mutex_;
  std::map<std::string, Fault> faults_;  // guarded by mutex_
};

}  // namespace ostrel::companion
