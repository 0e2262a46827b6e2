#include "extension/provider/temporary_download.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/uuid.hpp"

namespace ostrel {

TemporaryDownload::~TemporaryDownload() {
  fd_ = platform::UniqueFd();
  if (path_ && !kept_) {
    std::error_code ignored;
    std::filesystem::remove(*path_, ignored);
  }
}

void TemporaryDownload::create() {
  auto path = std::filesystem::temp_directory_path() / platform::randomUuid();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    throw std::system_error(errno, std::generic_category(), "could not create " + path.string());
  }
  fd_ = platform::UniqueFd(fd);
  path_ = std::move(path);
  sink_.emplace(fd_.get());
}

void TemporaryDownload::write(std::string_view bytes) {
  if (!path_) create();
  sink_->write(bytes);  // a full disk throws std::system_error with its errno
}

const std::filesystem::path& TemporaryDownload::finish() {
  if (!path_) create();
  int fd = fd_.release();
  if (::close(fd) != 0 && errno != EINTR) {
    throw std::system_error(errno, std::generic_category(), "could not write " + path_->string());
  }
  return *path_;
}

std::filesystem::path TemporaryDownload::keep() {
  kept_ = true;
  return *path_;
}

}  // namespace ostrel
