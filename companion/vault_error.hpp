#pragma once

#include <stdexcept>

namespace ostrel::companion {

// The vault's storage failed: the index could not be read or written, or a
// blob could not be stored. Requests answer it with status 500.
class VaultError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace ostrel::companion
