#include "extension/items/double_text.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>

namespace ostrel {
namespace {

struct DoubleCase {
  double value;
  const char* text;
};

class DoubleTextTest : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(DoubleTextTest, WritesShortestFormWithPointZeroAfterIntegers) {
  EXPECT_EQ(doubleText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, DoubleTextTest,
                         ::testing::Values(DoubleCase{3.5, "3.5"}, DoubleCase{0, "0.0"}, DoubleCase{-0.0, "-0.0"},
                                           DoubleCase{10, "10.0"}, DoubleCase{-2, "-2.0"}, DoubleCase{0.1, "0.1"},
                                           DoubleCase{1700000000.25, "1700000000.25"},
                                           DoubleCase{1712345678.123, "1712345678.123"},
                                           DoubleCase{0.0001, "0.0001"},
                                           // Swift-style plain digits, where a shortest-of-any-form writer says 1e+15
                                           DoubleCase{1e15, "1000000000000000.0"},
                                           DoubleCase{0x1p54, "18014398509481984.0"}));

TEST(DoubleText, EveryTextReadsBackAsTheSameDouble) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> times(0, 4e9);
  for (int i = 0; i < 2000; ++i) {
    double value = i % 2 ? times(random) : std::ldexp(times(random), -40);  // tiny values too
    std::string text = doubleText(value);
    double back = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(result.ec, std::errc()) << text;
    ASSERT_EQ(result.ptr, text.data() + text.size()) << text;
    ASSERT_EQ(back, value) << text;
  }
}

}  // namespace
}  // namespace ostrel
