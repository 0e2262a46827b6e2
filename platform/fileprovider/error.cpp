#include "platform/fileprovider/error.hpp"

#include <cerrno>
#include <new>
#include <system_error>

namespace ostrel::platform::fileprovider {

Error Error::fileProvider(std::int64_t code, std::optional<std::string> description) {
  return Error{std::string(errorDomain), code, std::move(description)};
}

Error Error::fromException(const std::exception& error) {
  std::int64_t code = 0;
  if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
    code = system->code().value();
  } else if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    code = ENOMEM;
  }
  return Error{std::string(systemErrorDomain), code, std::string(error.what())};
}

}  // namespace ostrel::platform::fileprovider
