// The handshake file: published whole with mode 0600, and what each account
// state tells the extension.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "companion/handshake_writer.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel::companion {
namespace {

TEST(HandshakeWriter, PublishesAPrivateFileWholeAndNothingOnceRetired) {
  testing::TempFile dir("marker", "");
  auto file = dir.path().parent_path() / "group" / "handshake.json";  // the folder is created
  HandshakeWriter writer(file);
  writer.write({{"port", 1}});
  writer.write({{"port", 2}});
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(nlohmann::json::parse(text.str())["port"], 2);
  EXPECT_EQ(std::filesystem::status(file).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
  writer.retire();
  writer.write({{"port", 3}});  // a late state change
  EXPECT_FALSE(std::filesystem::exists(file));
}

struct StateCase {
  AccountState state;
  bool signedIn;
  bool hasVault;
  bool clearing;
  bool stuck;
};

class HandshakeStates : public ::testing::TestWithParam<StateCase> {};

TEST_P(HandshakeStates, CarryTheAccountAsTheExtensionReadsIt) {
  const auto& c = GetParam();
  auto json = handshakeJson({.port = 7, .token = "t", .vaultId = "V", .accountId = "A"},
                            {.state = c.state, .streamIngest = true, .maxFileBytes = 9});
  EXPECT_EQ(json["signedIn"], c.signedIn);
  EXPECT_EQ(json.contains("vaultId"), c.hasVault);
  EXPECT_EQ(json.contains("accountId"), c.signedIn);
  EXPECT_EQ(json["clearing"], c.clearing);
  EXPECT_EQ(json["stuck"], c.stuck);
  EXPECT_EQ(json["streamIngest"], true);
  EXPECT_EQ(json["maxFileBytes"], 9);
}

INSTANTIATE_TEST_SUITE_P(Cases, HandshakeStates,
                         ::testing::Values(StateCase{AccountState::ready, true, true, false, false},
                                           StateCase{AccountState::signedOut, false, false, false, false},
                                           StateCase{AccountState::notReady, true, false, false, false},
                                           StateCase{AccountState::clearing, true, true, true, false},
                                           StateCase{AccountState::stuck, true, true, true, true}),
                         [](const ::testing::TestParamInfo<StateCase>& param) {
                           std::string out;
                           for (char c : name(param.param.state)) {
                             if (c != '-') out.push_back(c);
                           }
                           return out;
                         });

}  // namespace
}  // namespace ostrel::companion
