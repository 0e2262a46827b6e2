#include "companion/blob_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "companion/vault_error.hpp"
#include "platform/uuid.hpp"

namespace ostrel::companion {
namespace {

std::string errnoText() { return std::strerror(errno); }

}  // namespace

bool isBlobName(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (!ok) return false;
  }
  return true;
}

BlobWriter::BlobWriter(platform::UniqueFd fd, std::filesystem::path path, std::filesystem::path blobs)
    : fd_(std::move(fd)), path_(std::move(path)), blobs_(std::move(blobs)) {}

BlobWriter::BlobWriter(BlobWriter&& other) noexcept
    : fd_(std::move(other.fd_)),
      path_(std::move(other.path_)),
      blobs_(std::move(other.blobs_)),
      size_(other.size_),
      committed_(other.committed_) {
  other.path_.clear();
}

BlobWriter::~BlobWriter() {
  if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
}

void BlobWriter::write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw VaultError("cannot write a blob: " + errnoText());
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
    size_ += n;
  }
}

void BlobWriter::commit(std::string_view id) {
  if (!isBlobName(id)) throw VaultError("not a blob id: " + std::string(id));
  if (::fsync(fd_.get()) != 0) throw VaultError("cannot flush a blob: " + errnoText());
  auto target = blobs_ / std::string(id);
  if (::rename(path_.c_str(), target.c_str()) != 0) throw VaultError("cannot store a blob: " + errnoText());
  committed_ = true;
}

BlobStore::BlobStore(const std::filesystem::path& vault) : blobs_(vault / "blobs"), temporary_(vault / "tmp") {
  std::error_code ec;
  std::filesystem::create_directories(blobs_, ec);
  if (ec) throw VaultError("cannot create " + blobs_.string() + ": " + ec.message());
  std::filesystem::create_directories(temporary_, ec);
  if (ec) throw VaultError("cannot create " + temporary_.string() + ": " + ec.message());
}

void BlobStore::discardAbandoned() const {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(temporary_, ec)) {
    std::filesystem::remove(entry.path(), ec);
  }
}

BlobWriter BlobStore::begin() const {
  auto path = temporary_ / (platform::randomUuid() + ".part");
  platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!fd) throw VaultError("cannot create a blob: " + errnoText());
  return BlobWriter(std::move(fd), path, blobs_);
}

void BlobStore::createEmpty(std::string_view id) const {
  if (!isBlobName(id)) throw VaultError("not a blob id: " + std::string(id));
  auto path = blobs_ / std::string(id);
  platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd) throw VaultError("cannot create a blob: " + errnoText());
}

platform::UniqueFd BlobStore::open(std::string_view id) const {
  if (!isBlobName(id)) return {};
  auto path = blobs_ / std::string(id);
  return platform::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

void BlobStore::remove(std::string_view id) const {
  if (!isBlobName(id)) return;
  auto path = blobs_ / std::string(id);
  ::unlink(path.c_str());
}

bool BlobStore::contains(std::string_view id) const {
  if (!isBlobName(id)) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(blobs_ / std::string(id), ec);
}

}  // namespace ostrel::companion
