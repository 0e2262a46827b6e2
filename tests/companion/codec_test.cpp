// What the companion accepts from a request: names, folder paths, Base64
// bodies and percent-encoded headers.

#include <gtest/gtest.h>

#include <string>

#include "companion/base64_decoder.hpp"
#include "companion/header_text.hpp"
#include "companion/names.hpp"
#include "platform/crypto.hpp"

namespace ostrel::companion {
namespace {

struct NameCase {
  const char* label;
  std::string text;
  bool filenameOk;
  bool folderOk;
};

class Names : public ::testing::TestWithParam<NameCase> {};

TEST_P(Names, FollowTheFolderGrammar) {
  EXPECT_EQ(!filenameProblem(GetParam().text), GetParam().filenameOk);
  EXPECT_EQ(!folderProblem(GetParam().text), GetParam().folderOk);
}

INSTANTIATE_TEST_SUITE_P(Cases, Names,
                         ::testing::Values(NameCase{"plain", "report.pdf", true, true},
                                           NameCase{"accented", "Résumé final", true, true},
                                           NameCase{"dots", "...", true, true},
                                           NameCase{"dotted", ".config", true, true},
                                           NameCase{"empty", "", false, true},  // the residency folder itself
                                           NameCase{"dot", ".", false, false},
                                           NameCase{"dotdot", "..", false, false},
                                           NameCase{"slash", "a/b", false, true},
                                           NameCase{"doubleSlash", "a//b", false, false},
                                           NameCase{"leadingSlash", "/a", false, false},
                                           NameCase{"trailingSlash", "a/", false, false},
                                           NameCase{"parentStep", "a/../b", false, false},
                                           NameCase{"newline", "line\nbreak", false, false},
                                           NameCase{"nul", std::string("nul\0x", 5), false, false},
                                           NameCase{"brokenUtf8", "\xC3\x28", false, false},      // broken UTF-8
                                           NameCase{"overlongSlash", "\xC0\xAF", false, false},      // overlong "/"
                                           NameCase{"surrogate", "\xED\xA0\x80", false, false},  // a surrogate
                                           NameCase{"tooLong", std::string(256, 'n'), false, false}),
                         [](const ::testing::TestParamInfo<NameCase>& param) { return std::string(param.param.label); });

TEST(HiddenNames, MeanALeadingDot) {
  EXPECT_TRUE(isHiddenName(".DS_Store"));
  EXPECT_FALSE(isHiddenName("x."));
  EXPECT_FALSE(isHiddenName(""));
}

std::optional<std::string> decode(const std::string& text) {
  std::string out;
  if (!base64Decode(text, [&](std::string_view piece) {
        out += piece;
        return true;
      })) {
    return std::nullopt;
  }
  return out;
}

TEST(Base64, DecodesPaddingExactly) {
  EXPECT_EQ(decode(""), "");
  EXPECT_EQ(decode("Zg=="), "f");
  EXPECT_EQ(decode("Zm8="), "fo");
  EXPECT_EQ(decode("Zm9v"), "foo");
  EXPECT_EQ(base64DecodedSize("Zg=="), 1);
  EXPECT_EQ(base64DecodedSize("Zm9v"), 3);
}

TEST(Base64, RefusesWhatIsNotStandardBase64) {
  for (const char* bad : {"Zg=", "Z===", "Zg==Zg==", " Zg=", "Zm9v\n", "Zm9v Zm9v", "Zm-_", "Zm9*"}) {
    EXPECT_FALSE(decode(bad)) << bad;
  }
}

TEST(Base64, DecodesAcrossPiecesOfAnyLength) {
  // Longer than one decoding piece, with padding at the very end.
  std::string bytes;
  for (int i = 0; i < 200'001; ++i) bytes.push_back(static_cast<char>(i * 7));
  EXPECT_EQ(decode(platform::base64Encode(bytes)), bytes);
}

TEST(HeaderText, StrictPercentDecoding) {
  EXPECT_EQ(percentDecode("a%20b%2Ftxt"), "a b/txt");
  EXPECT_EQ(percentDecode("%C3%A9"), "\xC3\xA9");
  EXPECT_FALSE(percentDecode("%4"));
  EXPECT_FALSE(percentDecode("%zz"));
  EXPECT_FALSE(percentDecode("100%"));
}

}  // namespace
}  // namespace ostrel::companion
