#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "companion/file_record.hpp"

namespace ostrel::companion {

// The vault's index: one row per file in an SQLite database. Another process
// (the "add" subcommand) may write the same database while the companion
// runs; SQLite's locking and a busy timeout keep them apart. Every failure
// of SQLite is a VaultError.
class VaultIndex {
 public:
  enum class Outcome { done, noSuchFile, nameTaken };

  explicit VaultIndex(const std::filesystem::path& database);
  ~VaultIndex();
  VaultIndex(const VaultIndex&) = delete;
  VaultIndex& operator=(const VaultIndex&) = delete;

  std::vector<FileRecord> list(Residency residency) const;
  std::vector<FileRecord> all() const;
  std::optional<FileRecord> find(std::string_view id) const;
  bool empty() const;
  // Every id, also of rows that no listing shows.
  std::set<std::string> ids() const;

  // nameTaken when a file of that name already lies in that folder.
  Outcome insert(const FileRecord& record);
  // All rows or none, in one transaction: a single fsync instead of one per
  // row is what makes a vault of a hundred thousand files quick to fill.
  Outcome insertAll(const std::vector<FileRecord>& records);
  Outcome move(std::string_view id, Residency to);
  Outcome updateContent(std::string_view id, std::int64_t size, double modifiedAt);
  Outcome remove(std::string_view id);

  // A value of the vault's own, `made` on first use, then kept.
  std::string meta(std::string_view key, const std::string& made);

 private:
  std::vector<FileRecord> select(const char* sql, std::string_view parameter) const;
  // With mutex_ held.
  Outcome insertLocked(sqlite3_stmt* statement, const FileRecord& record);

  mutable std::mutex mutex_;  // guards db_: one statement at a time
  sqlite3* db_ = nullptr;
};

}  // namespace ostrel::companion
