#include "extension/provider/attempt_ledger.hpp"

namespace ostrel {

AttemptLedger& AttemptLedger::shared() {
  static AttemptLedger ledger;
  return ledger;
}

std::string AttemptLedger::key(Residency residency, std::string_view filename) {
  std::string key(residency.slug());
  key += '/';
  key += filename;
  return key;
}

std::int64_t AttemptLedger::recordFailure(std::string_view key) {
  std::lock_guard guard(lock_);
  auto it = counts_.find(key);
  if (it == counts_.end()) it = counts_.emplace(std::string(key), 0).first;
  return ++it->second;
}

void AttemptLedger::reset(std::string_view key) {
  std::lock_guard guard(lock_);
  if (auto it = counts_.find(key); it != counts_.end()) counts_.erase(it);
}

std::int64_t AttemptLedger::count(std::string_view key) const {
  std::lock_guard guard(lock_);
  auto it = counts_.find(key);
  return it == counts_.end() ? 0 : it->second;
}

}  // namespace ostrel
