#pragma once

#include <functional>

#include "fpctl/constants.hpp"
#include "fpctl/location.hpp"
#include "fpctl/wait.hpp"
#include "platform/fileprovider/domain_manager.hpp"

namespace ostrel::fpctl {

// What a command acts through. The binary uses the host's manager, the real
// location check and TIMEOUT; tests substitute each.
struct Context {
  platform::fileprovider::DomainManager& host;
  Seconds timeout{TIMEOUT};
  std::function<LocationVerdict()> location = locationCheck;
};

}  // namespace ostrel::fpctl
