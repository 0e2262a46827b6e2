#include "companion/fault_plan.hpp"

#include <utility>

namespace ostrel::companion {

void FaultPlan::set(const std::string& path, Fault fault) {
  std::lock_guard lock(mutex_);
  faults_[path] = std::move(fault);
}

void FaultPlan::clear() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::optional<Fault> FaultPlan::take(const std::string& path) {
  std::lock_guard lock(mutex_);
  auto it = faults_.find(path);
  if (it == faults_.end()) it = faults_.find("*");
  if (it == faults_.end()) return std::nullopt;
  Fault fault = it->second;
  if (it->second.times && --*it->second.times <= 0) faults_.erase(it);
  return fault;
}

}  // namespace ostrel::companion
