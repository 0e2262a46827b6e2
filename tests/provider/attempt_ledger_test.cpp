#include "extension/provider/attempt_ledger.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <thread>
#include <vector>

namespace ostrel {
namespace {

TEST(AttemptLedger, KeyIsSlugSlashName) {
  EXPECT_EQ(AttemptLedger::key(Residency::deviceOnly, "report.pdf"), "device-only/report.pdf");
  EXPECT_EQ(AttemptLedger::key(Residency::cloudOnly, "a b.txt"), "cloud-only/a b.txt");
}

TEST(AttemptLedger, CountsUntilResetAndKeepsCountingPastTheLimit) {
  AttemptLedger ledger;
  const std::string key = "device-only/a.pdf";
  EXPECT_EQ(ledger.recordFailure(key), 1);
  EXPECT_EQ(ledger.recordFailure(key), 2);
  EXPECT_EQ(ledger.recordFailure(key), 3);
  // A dead-letter leaves the entry in place.
  EXPECT_EQ(ledger.recordFailure(key), 4);
  ledger.reset(key);
  EXPECT_EQ(ledger.count(key), 0);
  EXPECT_EQ(ledger.recordFailure(key), 1);
  ledger.reset("device-only/never-seen");  // not an error
}

TEST(AttemptLedger, KeysAreCountedApart) {
  AttemptLedger ledger;
  EXPECT_EQ(ledger.recordFailure("device-only/a.pdf"), 1);
  EXPECT_EQ(ledger.recordFailure("cloud-only/a.pdf"), 1);
  EXPECT_EQ(ledger.recordFailure("device-only/a.pdf"), 2);
  ledger.reset("cloud-only/a.pdf");
  EXPECT_EQ(ledger.count("device-only/a.pdf"), 2);
}

TEST(AttemptLedger, SharedIsOneInstance) { EXPECT_EQ(&AttemptLedger::shared(), &AttemptLedger::shared()); }

// Two failures of one new key racing each other see two distinct counts.
TEST(AttemptLedger, ConcurrentFailuresOfOneKeyGetOneAndTwo) {
  for (int round = 0; round < 200; ++round) {
    AttemptLedger ledger;
    const std::string key = "device-only/race-" + std::to_string(round);
    std::latch start(2);
    std::int64_t first = 0, second = 0;
    std::thread a([&] { start.arrive_and_wait(); first = ledger.recordFailure(key); });
    std::thread b([&] { start.arrive_and_wait(); second = ledger.recordFailure(key); });
    a.join();
    b.join();
    EXPECT_EQ(std::min(first, second), 1);
    EXPECT_EQ(std::max(first, second), 2);
    EXPECT_EQ(ledger.count(key), 2);
  }
}

}  // namespace
}  // namespace ostrel
