#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ostrel::host {

// A thread that runs `tick` every interval, and at once when poked. Ticks
// never overlap; a poke during a tick runs one more right after it.
class ChangeWatcher {
 public:
  ChangeWatcher(std::chrono::milliseconds interval, std::function<void()> tick);
  ~ChangeWatcher();
  ChangeWatcher(const ChangeWatcher&) = delete;
  ChangeWatcher& operator=(const ChangeWatcher&) = delete;

  void start();
  void poke();
  // Waits for a running tick to end; safe to call more than once.
  void stop();

 private:
  void run();

  const std::chrono::milliseconds interval_;
  const std::function<void()> tick_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool poked_ = false;     // guarded by mutex_
  bool stopping_ = false;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace ostrel::host
