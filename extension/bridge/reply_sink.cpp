#include "extension/bridge/reply_sink.hpp"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "extension/bridge/bridge_error.hpp"

namespace ostrel {

void MemorySink::write(std::string_view bytes) {
  if (bytes_.size() + bytes.size() > maxBytes_) {
    throw BridgeError::malformed("transport: the reply is larger than " + std::to_string(maxBytes_) +
                                 " bytes");
  }
  bytes_.append(bytes);
}

void FileSink::write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "could not write the downloaded file");
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
    written_ += static_cast<std::size_t>(n);
  }
}

}  // namespace ostrel
