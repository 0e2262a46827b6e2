#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/files.hpp"

namespace ostrel::companion {

// A blob being written: a temporary file inside the vault, removed unless it
// is committed. Move-only.
class BlobWriter {
 public:
  BlobWriter(platform::UniqueFd fd, std::filesystem::path path, std::filesystem::path blobs);
  BlobWriter(BlobWriter&& other) noexcept;
  BlobWriter& operator=(BlobWriter&&) = delete;
  BlobWriter(const BlobWriter&) = delete;
  BlobWriter& operator=(const BlobWriter&) = delete;
  ~BlobWriter();

  // Throws VaultError when the disk refuses the bytes.
  void write(std::string_view bytes);
  std::int64_t size() const { return size_; }
  // Makes the bytes the blob of `id`, replacing any earlier blob whole.
  void commit(std::string_view id);

 private:
  platform::UniqueFd fd_;
  std::filesystem::path path_;
  std::filesystem::path blobs_;
  std::int64_t size_ = 0;
  bool committed_ = false;
};

// One file per stored blob under <vault>/blobs, named by the file's id;
// blobs in progress live under <vault>/tmp, on the same file system, so that
// committing one is a rename.
class BlobStore {
 public:
  explicit BlobStore(const std::filesystem::path& vault);

  BlobWriter begin() const;
  // An empty blob for `id`, unflushed: for seeding many files at once, where
  // a sync per file would cost more than the files themselves.
  void createEmpty(std::string_view id) const;
  // An open descriptor of the blob; empty when there is none.
  platform::UniqueFd open(std::string_view id) const;
  void remove(std::string_view id) const;
  bool contains(std::string_view id) const;
  // Drops blobs left half-written by an earlier run. Only the server calls
  // it, at start, so that an "add" running beside it keeps its own.
  void discardAbandoned() const;
  const std::filesystem::path& blobsFolder() const { return blobs_; }

 private:
  std::filesystem::path blobs_;
  std::filesystem::path temporary_;
};

// Ids become file names: only letters, digits and "-", 1 to 64 of them.
bool isBlobName(std::string_view id);

}  // namespace ostrel::companion
