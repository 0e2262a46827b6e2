#include "platform/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace ostrel::platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::int64_t> fileSize(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

std::string readWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) throw std::system_error(errno, std::generic_category(), path.string());
  std::string out;
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0 && st.st_size > 0) {
    out.reserve(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), maxBytes));
  }
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), path.string());
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
      throw std::length_error(path.string() + " is larger than " + std::to_string(maxBytes) +
                              " bytes");
    }
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

}  // namespace ostrel::platform
