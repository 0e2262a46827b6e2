#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ostrel::host {

// A thread that runs `tick` every interval, and at once when poked. Ticks
// never overlap; a poke during a tick runs one more right after it. With a
// `stretch`, the pause after a tick is at least that many times as long as
// the tick took, so work that grows with the vault (a change check of a
// hundred thousand files) never takes more than its share of a core.
class ChangeWatcher {
 public:
  ChangeWatcher(std::chrono::milliseconds interval, std::function<void()> tick, unsigned stretch = 0);
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
  const unsigned stretch_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool poked_ = false;     // guarded by mutex_
  bool stopping_ = false;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace ostrel::host
