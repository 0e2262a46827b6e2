#pragma once

#include <vector>

#include "fpctl/context.hpp"

namespace ostrel::fpctl {

// The host's registered domains; empty when the host did not answer in time.
// A failed listing is indistinguishable from one without the domain.
std::vector<platform::fileprovider::Domain> currentDomains(const Context& context);

// The listed domains whose identifier is DOMAIN_ID, in listing order.
std::vector<platform::fileprovider::Domain> ownDomains(const Context& context);

}  // namespace ostrel::fpctl
