#include "platform/crypto.hpp"

#include <gtest/gtest.h>

namespace ostrel::platform {
namespace {

TEST(Sha256, MatchesKnownDigests) {
  EXPECT_EQ(hexEncode(sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hexEncode(sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Base64, EncodesWithPaddingAndNoLineBreaks) {
  EXPECT_EQ(base64Encode(""), "");
  EXPECT_EQ(base64Encode("f"), "Zg==");
  EXPECT_EQ(base64Encode("fo"), "Zm8=");
  EXPECT_EQ(base64Encode("foo"), "Zm9v");
  EXPECT_EQ(base64Encode("\xfb\xff"), "+/8=");
  std::string big(100000, 'x');
  auto encoded = base64Encode(big);
  EXPECT_EQ(encoded.size(), 4 * ((big.size() + 2) / 3));
  EXPECT_EQ(encoded.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace ostrel::platform
