#include "companion/vault.hpp"

#include <chrono>
#include <set>
#include <system_error>
#include <utility>

#include "companion/vault_error.hpp"
#include "platform/uuid.hpp"

namespace ostrel::companion {

double nowSeconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::filesystem::path Vault::prepared(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) throw VaultError("cannot create the vault " + folder.string() + ": " + ec.message());
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
  return folder / "index.sqlite";
}

Vault::Vault(const std::filesystem::path& folder) : folder_(folder), index_(prepared(folder)), blobs_(folder) {}

std::string Vault::freshId() { return platform::randomUuid(); }

std::optional<FileRecord> Vault::add(const NewFile& file, BlobWriter writer) {
  FileRecord record{
      .id = freshId(),
      .filename = file.filename,
      .folder = file.folder,
      .residency = file.residency,
      .size = writer.size(),
      .modifiedAt = nowSeconds(),
      .materialized = materializedIn(file.residency),
  };
  // The blob is in place before the row names it, so a listed file always
  // has its bytes.
  writer.commit(record.id);
  try {
    if (index_.insert(record) == Outcome::nameTaken) {
      blobs_.remove(record.id);
      return std::nullopt;
    }
  } catch (...) {
    blobs_.remove(record.id);
    throw;
  }
  return record;
}

Vault::Outcome Vault::reparent(std::string_view id, Residency to) { return index_.move(id, to); }

Vault::Outcome Vault::replaceContent(std::string_view id, BlobWriter writer) {
  if (!index_.find(id)) return Outcome::noSuchFile;
  std::int64_t size = writer.size();
  writer.commit(id);
  return index_.updateContent(id, size, nowSeconds());
}

Vault::Outcome Vault::remove(std::string_view id) {
  Outcome outcome = index_.remove(id);
  if (outcome == Outcome::done) blobs_.remove(id);
  return outcome;
}

void Vault::recover() {
  blobs_.discardAbandoned();
  std::set<std::string> known = index_.ids();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(blobs_.blobsFolder(), ec)) {
    if (!known.count(entry.path().filename().string())) std::filesystem::remove(entry.path(), ec);
  }
}

}  // namespace ostrel::companion
