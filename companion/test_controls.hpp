#pragma once

#include <httplib.h>

#include "companion/companion.hpp"
#include "companion/fault_plan.hpp"

namespace ostrel::companion {

// Endpoints under /test/ through which tests change the companion while it
// runs: its account state and handshake settings, injected faults, and the
// files of the vault. Only registered with --test-controls; the token
// protects them like every other endpoint.
void registerTestControls(httplib::Server& server, Companion& companion, FaultPlan& faults);

}  // namespace ostrel::companion
