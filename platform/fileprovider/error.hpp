#pragma once

// The platform error object: a domain, a code and at most one user-facing
// sentence.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::platform::fileprovider {

inline constexpr std::string_view errorDomain = "NSFileProviderErrorDomain";
// The extension's own domain for bridge errors handed to the host as thrown.
inline constexpr std::string_view bridgeErrorDomain = "com.ostrel.fileprovider.bridge";
// Failures of the standard library and the OS that carry no domain of their own.
inline constexpr std::string_view systemErrorDomain = "com.ostrel.fileprovider.system";

namespace errorCode {
inline constexpr std::int64_t notAuthenticated = -1000;
inline constexpr std::int64_t syncAnchorExpired = -1002;
inline constexpr std::int64_t serverUnreachable = -1004;
inline constexpr std::int64_t noSuchItem = -1005;
inline constexpr std::int64_t excludedFromSync = -2010;
}  // namespace errorCode

struct Error {
  std::string domain;
  std::int64_t code = 0;
  std::optional<std::string> localizedDescription;  // NSLocalizedDescriptionKey

  // An error of the file-provider domain.
  static Error fileProvider(std::int64_t code, std::optional<std::string> description = std::nullopt);

  // A standard exception as the host sees it: a std::system_error keeps its
  // errno value as the code (std::bad_alloc becomes ENOMEM); anything else
  // has code 0. The description is what() in every case. Domain
  // systemErrorDomain.
  static Error fromException(const std::exception& error);

  bool operator==(const Error&) const = default;
};

}  // namespace ostrel::platform::fileprovider
