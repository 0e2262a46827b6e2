#include "fpctl/output.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace ostrel::fpctl {
namespace {

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere left to report to; the status still tells
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace

std::string serialize(const Object& object) noexcept {
  try {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  } catch (...) {
    return "{}";
  }
}

void emit(const Object& object, int exit) {
  writeAll(STDOUT_FILENO, serialize(object));
  writeAll(STDOUT_FILENO, "\n");
  // Late host callbacks may still be running on other threads: leave without
  // running static destructors under them.
  std::_Exit(exit);
}

}  // namespace ostrel::fpctl
