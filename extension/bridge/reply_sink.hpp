#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

// Where the body of a successful reply goes, piece by piece, so that a large
// file never has to sit in memory. write() may throw to abort the request.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void write(std::string_view bytes) = 0;
};

// Collects the body in memory, up to a limit past which the reply is refused.
class MemorySink final : public ReplySink {
 public:
  explicit MemorySink(std::size_t maxBytes) : maxBytes_(maxBytes) {}
  void write(std::string_view bytes) override;
  std::string take() { return std::move(bytes_); }

 private:
  std::size_t maxBytes_;
  std::string bytes_;
};

// Writes the body to an open file descriptor (not owned). A failed write
// throws std::system_error with the OS error: it is a local fault, not a
// bad reply.
class FileSink final : public ReplySink {
 public:
  explicit FileSink(int fd) : fd_(fd) {}
  void write(std::string_view bytes) override;
  std::size_t written() const { return written_; }

 private:
  int fd_;
  std::size_t written_ = 0;
};

}  // namespace ostrel
