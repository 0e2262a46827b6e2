#include "host/serve/errno_mapping.hpp"

#include <cerrno>

namespace ostrel::host {

namespace fp = platform::fileprovider;

bool isServerUnreachable(const fp::Error& error) {
  return error.domain == fp::errorDomain && error.code == fp::errorCode::serverUnreachable;
}

int errnoFor(const fp::Error& error) {
  if (error.domain == fp::errorDomain) {
    switch (error.code) {
      case fp::errorCode::serverUnreachable: return EHOSTDOWN;
      case fp::errorCode::noSuchItem: return ENOENT;
      case fp::errorCode::notAuthenticated: return EACCES;
      case fp::errorCode::excludedFromSync: return EPERM;
      case fp::errorCode::syncAnchorExpired: return EAGAIN;
      default: return EIO;
    }
  }
  // An OS failure keeps its own errno; ENOMEM included.
  if (error.domain == fp::systemErrorDomain && error.code > 0 && error.code < 4096) {
    return static_cast<int>(error.code);
  }
  return EIO;
}

}  // namespace ostrel::host
