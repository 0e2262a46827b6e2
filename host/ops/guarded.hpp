#pragma once

#include <cerrno>
#include <new>

#include "host/serve/vault_tree.hpp"

namespace ostrel::host {

// What an operation that answers with an errno alone returns; 0 is success.
struct ErrnoOnly {
  int error = 0;
  static ErrnoOnly failure(int code) { return ErrnoOnly{code}; }
};

// Runs an operation's work so that nothing escapes into libfuse: an
// exception becomes an errno (ENOMEM for bad_alloc, EIO otherwise).
template <class Work>
auto guarded(Work&& work) -> decltype(work()) {
  using R = decltype(work());
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return R::failure(ENOMEM);
  } catch (...) {
    return R::failure(EIO);
  }
}

}  // namespace ostrel::host
