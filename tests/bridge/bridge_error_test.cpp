#include "extension/bridge/bridge_error.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

struct ClassifyCase {
  const char* name;
  std::int64_t status;
  std::optional<std::string> body;
  BridgeError expected;
};

class Classify : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(Classify, ChoosesTheCase) {
  const auto& c = GetParam();
  BridgeError actual = bridgeError(c.status, c.body);
  EXPECT_EQ(actual, c.expected) << toString(actual.kind()) << ": " << actual.errorDescription();
}

const std::string longText(300, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, Classify,
    ::testing::Values(
        ClassifyCase{"refusalBeatsNotReady", 409, R"({"error":"no vault bound","refusal":""})",
                     BridgeError::refused("no vault bound")},
        ClassifyCase{"notReadyInPlainText", 409, "no vault bound yet, try later", BridgeError::notReady()},
        ClassifyCase{"notReadyInsideJsonText", 409, R"({"detail":"no vault bound"})", BridgeError::notReady()},
        ClassifyCase{"notReadyOnlyFor409", 500, "no vault bound", BridgeError::http(500, "no vault bound")},
        ClassifyCase{"cloudUnreachable", 502, R"({"error":"Cloud is down","retry":"cloud-unreachable"})",
                     BridgeError::unreachable("Cloud is down")},
        ClassifyCase{"otherRetryIsSaid", 502, R"({"error":"Cloud is down","retry":"later"})",
                     BridgeError::said("Cloud is down")},
        ClassifyCase{"retryNotAString", 502, R"({"error":"Cloud is down","retry":1})", BridgeError::said("Cloud is down")},
        ClassifyCase{"noRetryIsSaid", 400, R"({"error":"Bad name"})", BridgeError::said("Bad name")},
        ClassifyCase{"refusalNeedsASentence", 400, R"({"error":"","refusal":"x"})",
                     BridgeError::http(400, R"({"error":"","refusal":"x"})")},
        ClassifyCase{"refusalMustBeAString", 400, R"({"error":"No","refusal":true})", BridgeError::said("No")},
        ClassifyCase{"errorNotAString", 400, R"({"error":5})", BridgeError::http(400, R"({"error":5})")},
        ClassifyCase{"topLevelArray", 409, R"(["no vault bound"])", BridgeError::notReady()},
        ClassifyCase{"topLevelArrayElsewhere", 400, R"([{"error":"x"}])", BridgeError::http(400, R"([{"error":"x"}])")},
        ClassifyCase{"longTextIsCut", 500, longText, BridgeError::http(500, std::string(200, 'x'))},
        ClassifyCase{"noBody", 409, std::nullopt, BridgeError::http(409, "")},
        ClassifyCase{"notUtf8", 500, std::string("\xff\xfe"), BridgeError::http(500, "")}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(BridgeErrorText, SentencesAreExact) {
  EXPECT_EQ(BridgeError::http(408, "Ostrel did not respond within 65s").errorDescription(),
            "Ostrel couldn\u2019t complete that (408): Ostrel did not respond within 65s");
  EXPECT_EQ(BridgeError::malformed("enumerate").errorDescription(), "Ostrel sent an unexpected response: enumerate");
  EXPECT_EQ(BridgeError::said("S").errorDescription(), "S");
  EXPECT_EQ(BridgeError::appNotRunning().errorDescription(), "Ostrel isn\u2019t running. Open Ostrel to use this folder.");
  EXPECT_EQ(BridgeError::notSignedIn().errorDescription(), "Sign in to Ostrel to use this folder.");
  EXPECT_EQ(BridgeError::notReady().errorDescription(),
            "Ostrel is still setting up your account. This folder will work in a moment.");
  EXPECT_EQ(BridgeError::clearingPrevious().errorDescription(),
            "Finder will show your files once the previous account is cleared. Ostrel is retrying.");
  EXPECT_EQ(BridgeError::clearingStuck().errorDescription(),
            "Finder can\u2019t clear the previous account\u2019s files. Restart your Mac, then open Ostrel.");
  EXPECT_STREQ(BridgeError::notSignedIn().what(), "Sign in to Ostrel to use this folder.");
}

TEST(BridgeErrorText, CutNeverSplitsACharacter) {
  std::string body(199, 'a');
  body += "e\u0301tail";  // the 200th character is e + combining accent
  EXPECT_EQ(bridgeError(500, body).payload(), std::string(199, 'a') + "e\u0301");
}

TEST(BridgeErrorPredicates, ClearingAndNotReady) {
  EXPECT_TRUE(BridgeError::clearingPrevious().isClearing());
  EXPECT_TRUE(BridgeError::clearingStuck().isClearing());
  EXPECT_FALSE(BridgeError::notReady().isClearing());
  EXPECT_TRUE(BridgeError::notReady().isNotReady());
  EXPECT_FALSE(BridgeError::appNotRunning().isNotReady());
  EXPECT_FALSE(BridgeError::http(409, "").isNotReady());
}

}  // namespace
}  // namespace ostrel
