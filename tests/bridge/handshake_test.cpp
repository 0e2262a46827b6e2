#include "extension/bridge/handshake.hpp"

#include <gtest/gtest.h>

#include "extension/bridge/bridge_error.hpp"
#include "tests/support/bridge_error_of.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel {
namespace {

using testing::bridgeErrorOf;
using testing::HandshakeHome;

struct StateCase {
  const char* name;
  const char* json;
  std::optional<BridgeError::Kind> error;  // nothing: the record is returned
};

class HandshakeStates : public ::testing::TestWithParam<StateCase> {
 protected:
  HandshakeHome home;
};

TEST_P(HandshakeStates, Judges) {
  home.writeRaw(GetParam().json);
  if (!GetParam().error) {
    EXPECT_NO_THROW(loadHandshake());
  } else {
    auto error = bridgeErrorOf(loadHandshake);
    EXPECT_EQ(error.kind(), *GetParam().error) << error.errorDescription();
  }
}

using K = BridgeError::Kind;
INSTANTIATE_TEST_SUITE_P(
    Cases, HandshakeStates,
    ::testing::Values(
        StateCase{"signedInWithoutVault", R"({"port":1,"token":"t","signedIn":true})", std::nullopt},
        StateCase{"vaultWithoutSignedIn", R"({"port":1,"token":"t","vaultId":"v"})", std::nullopt},
        StateCase{"emptyVault", R"({"port":1,"token":"t","vaultId":""})", K::notSignedIn},
        StateCase{"nothingSaysSignedIn", R"({"port":1,"token":"t"})", K::notSignedIn},
        StateCase{"signedOutWinsOverVault", R"({"port":1,"token":"t","signedIn":false,"vaultId":"v"})", K::notSignedIn},
        StateCase{"clearingWhileSignedOut", R"({"port":1,"token":"t","signedIn":false,"clearing":true})", K::clearingPrevious},
        StateCase{"clearingStuck", R"({"port":1,"token":"t","signedIn":false,"clearing":true,"stuck":true})", K::clearingStuck},
        StateCase{"stuckAloneHasNoEffect", R"({"port":1,"token":"t","signedIn":true,"clearing":false,"stuck":true})", std::nullopt},
        StateCase{"stuckWithoutClearing", R"({"port":1,"token":"t","signedIn":true,"stuck":true})", std::nullopt},
        StateCase{"nullOptionalsAreAbsent", R"({"port":1,"token":"t","signedIn":true,"clearing":null,"maxFileBytes":null})", std::nullopt},
        StateCase{"portAsString", R"({"port":"1","token":"t","signedIn":true})", K::malformed},
        StateCase{"noToken", R"({"port":1,"signedIn":true})", K::malformed},
        StateCase{"accountIdAsNumber", R"({"port":1,"token":"t","signedIn":true,"accountId":7})", K::malformed},
        StateCase{"notJson", "port=1", K::malformed},
        StateCase{"halfWritten", R"({"port":1,"tok)", K::malformed}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(HandshakeFile, MissingFileOrContainerMeansNotRunning) {
  HandshakeHome home;
  EXPECT_EQ(bridgeErrorOf(loadHandshake).kind(), BridgeError::Kind::appNotRunning);
  home.removeContainer();
  EXPECT_EQ(bridgeErrorOf(loadHandshake).kind(), BridgeError::Kind::appNotRunning);
}

TEST(HandshakeFile, DecodeErrorsNameTheirCause) {
  HandshakeHome home;
  home.writeRaw(R"({"port":"1","token":"t"})");
  auto error = bridgeErrorOf(loadHandshake);
  EXPECT_EQ(error.kind(), BridgeError::Kind::malformed);
  EXPECT_TRUE(error.payload().starts_with("handshake unparseable: ")) << error.payload();
  EXPECT_NE(error.payload().find("port"), std::string::npos) << error.payload();
}

TEST(HandshakeFile, UnreadableFileIsMalformed) {
  HandshakeHome home;
  std::filesystem::create_directories(home.handshakePath());  // a folder cannot be read as a file
  auto error = bridgeErrorOf(loadHandshake);
  EXPECT_EQ(error.kind(), BridgeError::Kind::malformed);
  EXPECT_TRUE(error.payload().starts_with("handshake unreadable: ")) << error.payload();
}

TEST(HandshakeFile, ReadsEveryField) {
  HandshakeHome home;
  home.writeRaw(R"({"port":4321,"token":"tok","vaultId":"v","maxFileBytes":10,"streamIngest":true,)"
                R"("signedIn":true,"accountId":"a","clearing":false,"stuck":false,"future":{"x":[1]}})");
  Handshake h = loadHandshake();
  EXPECT_EQ(h.port, 4321);
  EXPECT_EQ(h.token, "tok");
  EXPECT_EQ(h.maxFileBytes, 10);
  EXPECT_EQ(h.streamIngest, true);
  EXPECT_EQ(h.accountId, "a");
}

TEST(SignedOut, Rules) {
  EXPECT_FALSE(handshakeSaysSignedOut(true, std::nullopt));
  EXPECT_TRUE(handshakeSaysSignedOut(false, std::string("v")));
  EXPECT_TRUE(handshakeSaysSignedOut(std::nullopt, std::string("")));
  EXPECT_TRUE(handshakeSaysSignedOut(std::nullopt, std::nullopt));
  EXPECT_FALSE(handshakeSaysSignedOut(std::nullopt, std::string("v")));
}

}  // namespace
}  // namespace ostrel
