#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace ostrel::platform {

// Owns a file descriptor; closes it once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { int fd = fd_; fd_ = -1; return fd; }

 private:
  int fd_ = -1;
};

// The size attribute of a file (symbolic links followed); nothing when the
// attributes cannot be read.
std::optional<std::int64_t> fileSize(const std::filesystem::path& path);

// Reads a whole file. Throws std::system_error (with the OS's description)
// when it cannot be read, or std::length_error when it holds more than
// maxBytes bytes, so a huge file is never taken into memory.
std::string readWholeFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace ostrel::platform
