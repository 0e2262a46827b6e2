#include "platform/text.hpp"

#include <gtest/gtest.h>

namespace ostrel::platform {
namespace {

TEST(GraphemePrefix, CountsUserPerceivedCharacters) {
  EXPECT_EQ(graphemePrefix("abcdef", 3), "abc");
  EXPECT_EQ(graphemePrefix("ab", 200), "ab");
  EXPECT_EQ(graphemePrefix("", 5), "");
  EXPECT_EQ(graphemePrefix("a\r\nb", 2), "a\r\n");  // CR LF is one character
  // "e" + COMBINING ACUTE ACCENT stays whole.
  EXPECT_EQ(graphemePrefix("xe\u0301y", 2), "xe\u0301");
  // A flag is two regional indicators, one character.
  EXPECT_EQ(graphemePrefix("\U0001F1E9\U0001F1EAz", 1), "\U0001F1E9\U0001F1EA");
}

TEST(CanonicalOrder, ComparesComposedForms) {
  EXPECT_TRUE(canonicalEqual("e\u0301", "\u00E9"));
  EXPECT_FALSE(canonicalEqual("a", "A"));
  EXPECT_TRUE(canonicalLess("B", "a"));  // upper case sorts first in ASCII
  EXPECT_FALSE(canonicalLess("e\u0301", "\u00E9"));
  EXPECT_FALSE(canonicalLess("\u00E9", "e\u0301"));
  EXPECT_EQ(composed("e\u0301"), "\u00E9");
  EXPECT_EQ(composed("\xff\xfe"), "\xff\xfe");  // not UTF-8: left alone
}

}  // namespace
}  // namespace ostrel::platform
