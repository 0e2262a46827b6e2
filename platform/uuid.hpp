#pragma once

#include <string>

namespace ostrel::platform {

// A random (version 4) UUID as upper-case text.
std::string randomUuid();

}  // namespace ostrel::platform
