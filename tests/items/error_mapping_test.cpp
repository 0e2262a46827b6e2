#include "extension/provider/error_mapping.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "extension/bridge/bridge_error.hpp"

namespace ostrel {
namespace {

namespace fp = platform::fileprovider;

class UnavailableTest : public ::testing::TestWithParam<BridgeError> {};

TEST_P(UnavailableTest, BecomesServerUnreachableWithTheSentence) {
  const BridgeError& error = GetParam();
  EXPECT_EQ(fileProviderError(error),
            (fp::Error{"NSFileProviderErrorDomain", -1004, error.errorDescription()}));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnavailableTest,
                         ::testing::Values(BridgeError::appNotRunning(), BridgeError::notSignedIn(),
                                           BridgeError::notReady(), BridgeError::clearingPrevious(),
                                           BridgeError::clearingStuck()));

class PassedOnTest : public ::testing::TestWithParam<BridgeError> {};

TEST_P(PassedOnTest, KeepsItsOwnDomainAndSentence) {
  const BridgeError& error = GetParam();
  fp::Error host = fileProviderError(error);
  EXPECT_EQ(host.domain, "com.ostrel.fileprovider.bridge");
  EXPECT_EQ(host.localizedDescription, error.errorDescription());
  EXPECT_NE(host.code, -1004);
}

INSTANTIATE_TEST_SUITE_P(Cases, PassedOnTest,
                         ::testing::Values(BridgeError::http(500, "boom"), BridgeError::malformed("enumerate"),
                                           BridgeError::tooLarge("too big"), BridgeError::refused("no"),
                                           BridgeError::unreachable("cloud"), BridgeError::said("said")));

TEST(FileProviderError, PayloadCasesAreToldApartByCode) {
  EXPECT_NE(fileProviderError(BridgeError::http(500, "x")).code, fileProviderError(BridgeError::said("x")).code);
}

TEST(FileProviderError, OtherErrorsPassWithTheirCode) {
  fp::Error host = fileProviderError(std::system_error(ENOSPC, std::generic_category(), "write"));
  EXPECT_EQ(host.domain, fp::systemErrorDomain);
  EXPECT_EQ(host.code, ENOSPC);
  EXPECT_TRUE(host.localizedDescription.has_value());
}

TEST(TerminalRefusal, IsExcludedFromSyncWithTheSentenceEvenWhenEmpty) {
  EXPECT_EQ(terminalRefusal("Nope."), (fp::Error{"NSFileProviderErrorDomain", -2010, "Nope."}));
  EXPECT_EQ(terminalRefusal(""), (fp::Error{"NSFileProviderErrorDomain", -2010, ""}));
}

}  // namespace
}  // namespace ostrel
