#include "host/serve/change_watcher.hpp"

#include <algorithm>

namespace ostrel::host {

ChangeWatcher::ChangeWatcher(std::chrono::milliseconds interval, std::function<void()> tick, unsigned stretch)
    : interval_(interval), tick_(std::move(tick)), stretch_(stretch) {}

ChangeWatcher::~ChangeWatcher() { stop(); }

void ChangeWatcher::start() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable() || stopping_) return;
  thread_ = std::thread([this] { run(); });
}

void ChangeWatcher::poke() {
  {
    std::lock_guard lock(mutex_);
    poked_ = true;
  }
  wake_.notify_all();
}

void ChangeWatcher::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void ChangeWatcher::run() {
  std::unique_lock lock(mutex_);
  auto pause = std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval_);
  for (;;) {
    wake_.wait_for(lock, pause, [this] { return poked_ || stopping_; });
    if (stopping_) return;
    poked_ = false;
    lock.unlock();
    const auto started = std::chrono::steady_clock::now();
    tick_();
    const auto took = std::chrono::steady_clock::now() - started;
    pause = std::max<std::chrono::steady_clock::duration>(interval_, took * stretch_);
    lock.lock();
  }
}

}  // namespace ostrel::host
