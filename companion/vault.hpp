#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "companion/blob_store.hpp"
#include "companion/file_record.hpp"
#include "companion/vault_index.hpp"

namespace ostrel::companion {

// Where a new file goes. The caller has checked the name and the folder.
struct NewFile {
  std::string filename{};
  Residency residency{Residency::deviceOnly};
  std::string folder{};
};

// The vault: its index and its blobs, in one folder. Ids are random UUIDs
// given once and kept through restarts, moves and content changes.
class Vault {
 public:
  using Outcome = VaultIndex::Outcome;

  // Opens the vault in `folder`, creating it (mode 0700) when missing.
  explicit Vault(const std::filesystem::path& folder);

  const std::filesystem::path& folder() const { return folder_; }
  VaultIndex& index() { return index_; }
  const VaultIndex& index() const { return index_; }
  const BlobStore& blobs() const { return blobs_; }

  std::string vaultId() { return index_.meta("vaultId", freshId()); }
  std::string accountId() { return index_.meta("accountId", freshId()); }

  // Stores the bytes of `writer` as a new file. The record when stored,
  // nothing when a file of that name already lies in that folder.
  std::optional<FileRecord> add(const NewFile& file, BlobWriter writer);
  Outcome reparent(std::string_view id, Residency to);
  Outcome replaceContent(std::string_view id, BlobWriter writer);
  Outcome remove(std::string_view id);

  // Clears what an interrupted earlier run left: half-written blobs and
  // blobs that no index row names.
  void recover();

 private:
  static std::string freshId();
  static std::filesystem::path prepared(const std::filesystem::path& folder);

  std::filesystem::path folder_;
  VaultIndex index_;
  BlobStore blobs_;
};

double nowSeconds();

}  // namespace ostrel::companion
