#pragma once

// How host callbacks meet the waiting main thread. Both primitives are held
// through shared_ptr by the callbacks, so an answer that comes after the wait
// gave up writes into state that is still alive and that nobody reads.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

namespace ostrel::fpctl {

using Seconds = std::chrono::duration<double>;

// One answer of one request; the first one counts.
template <typename T>
class Answer {
 public:
  void set(T value) {
    {
      std::lock_guard lock(mutex_);  // guards value_
      if (value_) return;
      value_.emplace(std::move(value));
    }
    ready_.notify_all();
  }

  // The answer, or nothing when none came within the wait.
  std::optional<T> waitFor(Seconds wait) {
    std::unique_lock lock(mutex_);
    ready_.wait_until(lock, deadline(wait), [&] { return value_.has_value(); });
    return value_;
  }

 private:
  static std::chrono::steady_clock::time_point deadline(Seconds wait) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(wait);
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::optional<T> value_;
};

// Counts outstanding requests; the wait ends when all are done.
class Group {
 public:
  void enter() {
    std::lock_guard lock(mutex_);
    ++outstanding_;
  }

  void leave() {
    {
      std::lock_guard lock(mutex_);
      if (outstanding_ > 0) --outstanding_;
    }
    done_.notify_all();
  }

  // True when every request was done within the wait.
  bool waitFor(Seconds wait) {
    std::unique_lock lock(mutex_);
    auto until = std::chrono::steady_clock::now() +
                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(wait);
    return done_.wait_until(lock, until, [&] { return outstanding_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  int outstanding_ = 0;  // guarded by mutex_
};

}  // namespace ostrel::fpctl
