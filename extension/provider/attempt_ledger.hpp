#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "extension/model/residency.hpp"

namespace ostrel {

// Consecutive failed ingest attempts per file, so that a file whose ingest
// keeps failing is refused for good instead of being retried for ever. Lives
// in memory only: a new extension process starts with an empty ledger.
class AttemptLedger {
 public:
  static constexpr std::int64_t maxAttempts = 3;

  // The one ledger of the process, created on first use.
  static AttemptLedger& shared();

  // The residency slug, "/", and the file name; the sub-folder is left out
  // on purpose, so one name counts once per residency.
  static std::string key(Residency residency, std::string_view filename);

  AttemptLedger() = default;
  AttemptLedger(const AttemptLedger&) = delete;
  AttemptLedger& operator=(const AttemptLedger&) = delete;

  // The new count, 1 for a key not seen since its last success.
  std::int64_t recordFailure(std::string_view key);
  void reset(std::string_view key);
  // 0 when absent.
  std::int64_t count(std::string_view key) const;

 private:
  // A leaf lock: held for one map access at a time, never across a request.
  mutable std::mutex lock_;
  std::map<std::string, std::int64_t, std::less<>> counts_;  // guarded by lock_
};

}  // namespace ostrel
