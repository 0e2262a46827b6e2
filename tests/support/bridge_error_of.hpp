#pragma once

#include <gtest/gtest.h>

#include "extension/bridge/bridge_error.hpp"

namespace ostrel::testing {

// The BridgeError that `action` throws; records a test failure when it
// throws none.
template <class Action>
BridgeError bridgeErrorOf(Action&& action) {
  try {
    action();
  } catch (const BridgeError& e) {
    return e;
  }
  ADD_FAILURE() << "no BridgeError was thrown";
  return BridgeError::http(-1, "no error");
}

}  // namespace ostrel::testing
