#include "extension/model/residency.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(Residency, CasesInOrderWithNamesAndSlugs) {
  auto all = Residency::allCases();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0], Residency::deviceOnly);
  EXPECT_EQ(all[1].rawValue(), "Device + Cloud");
  EXPECT_EQ(all[1].slug(), "device-and-cloud");
  EXPECT_EQ(all[2].rawValue(), "Cloud only");
  EXPECT_EQ(all[2].slug(), "cloud-only");
  for (auto r : all) {
    EXPECT_EQ(Residency::fromSlug(r.slug()), r);
    EXPECT_EQ(Residency::fromRawValue(r.rawValue()), r);
  }
}

TEST(Residency, NamesAndSlugsAreNotInterchangeable) {
  for (const char* text : {"Device only", "Device-Only", "DEVICE-ONLY", " device-only", "device-only ", ""}) {
    EXPECT_FALSE(Residency::fromSlug(text)) << text;
  }
  EXPECT_FALSE(Residency::fromRawValue("device-only"));
  EXPECT_FALSE(Residency::fromRawValue("device only"));
}

}  // namespace
}  // namespace ostrel
