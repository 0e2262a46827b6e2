#include "companion/vault_index.hpp"

#include <memory>

#include "companion/vault_error.hpp"

namespace ostrel::companion {
namespace {

constexpr const char* schema = R"sql(
CREATE TABLE IF NOT EXISTS files (
  id TEXT PRIMARY KEY NOT NULL,
  filename TEXT NOT NULL,
  folder TEXT NOT NULL DEFAULT '',
  residency TEXT NOT NULL,
  size INTEGER NOT NULL,
  modified_at REAL NOT NULL,
  materialized INTEGER NOT NULL,
  UNIQUE (residency, folder, filename)
);
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);
)sql";

constexpr const char* columns = "id, filename, folder, residency, size, modified_at, materialized";

std::string insertSql() { return std::string("INSERT INTO files (") + columns + ") VALUES (?, ?, ?, ?, ?, ?, ?)"; }

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
  throw VaultError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

Statement prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) fail(db, "index query");
  return Statement(raw);
}

void bindText(sqlite3* db, sqlite3_stmt* statement, int index, std::string_view text) {
  if (sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
    fail(db, "index bind");
  }
}

std::string columnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

// Runs a statement that returns no rows; the number of rows it changed.
int execute(sqlite3* db, sqlite3_stmt* statement) {
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_CONSTRAINT) return -1;
  if (rc != SQLITE_DONE) fail(db, "index write");
  return sqlite3_changes(db);
}

}  // namespace

VaultIndex::VaultIndex(const std::filesystem::path& database) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(database.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string message = "cannot open the index " + database.string() + ": " + (db_ ? sqlite3_errmsg(db_) : "");
    sqlite3_close(db_);
    throw VaultError(message);
  }
  sqlite3_extended_result_codes(db_, 0);
  sqlite3_busy_timeout(db_, 5000);
  char* error = nullptr;
  // WAL lets the "add" subcommand write while the server reads.
  if (sqlite3_exec(db_, "PRAGMA journal_mode=WAL;", nullptr, nullptr, &error) != SQLITE_OK ||
      sqlite3_exec(db_, schema, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = std::string("cannot prepare the index: ") + (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db_);
    throw VaultError(message);
  }
}

VaultIndex::~VaultIndex() { sqlite3_close(db_); }

std::vector<FileRecord> VaultIndex::select(const char* where, std::string_view parameter) const {
  std::lock_guard lock(mutex_);
  Statement statement = prepare(db_, std::string("SELECT ") + columns + " FROM files " + where);
  if (std::string_view(where).find('?') != std::string_view::npos) bindText(db_, statement.get(), 1, parameter);
  std::vector<FileRecord> records;
  while (true) {
    int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) fail(db_, "index read");
    FileRecord record;
    record.id = columnText(statement.get(), 0);
    record.filename = columnText(statement.get(), 1);
    record.folder = columnText(statement.get(), 2);
    // A row written by hand with an unknown slug is kept out of every listing.
    auto residency = residencyFromSlug(columnText(statement.get(), 3));
    if (!residency) continue;
    record.residency = *residency;
    record.size = sqlite3_column_int64(statement.get(), 4);
    record.modifiedAt = sqlite3_column_double(statement.get(), 5);
    record.materialized = sqlite3_column_int(statement.get(), 6) != 0;
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<FileRecord> VaultIndex::list(Residency residency) const {
  return select("WHERE residency = ? ORDER BY folder, filename, id", slug(residency));
}

std::vector<FileRecord> VaultIndex::all() const { return select("ORDER BY residency, folder, filename, id", {}); }

std::optional<FileRecord> VaultIndex::find(std::string_view id) const {
  auto found = select("WHERE id = ?", id);
  if (found.empty()) return std::nullopt;
  return found.front();
}

bool VaultIndex::empty() const { return select("LIMIT 1", {}).empty(); }

std::set<std::string> VaultIndex::ids() const {
  std::lock_guard lock(mutex_);
  Statement statement = prepare(db_, "SELECT id FROM files");
  std::set<std::string> ids;
  while (true) {
    int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE) return ids;
    if (rc != SQLITE_ROW) fail(db_, "index read");
    ids.insert(columnText(statement.get(), 0));
  }
}

VaultIndex::Outcome VaultIndex::insertLocked(sqlite3_stmt* statement, const FileRecord& record) {
  sqlite3_reset(statement);
  bindText(db_, statement, 1, record.id);
  bindText(db_, statement, 2, record.filename);
  bindText(db_, statement, 3, record.folder);
  bindText(db_, statement, 4, slug(record.residency));
  sqlite3_bind_int64(statement, 5, record.size);
  sqlite3_bind_double(statement, 6, record.modifiedAt);
  sqlite3_bind_int(statement, 7, record.materialized ? 1 : 0);
  return execute(db_, statement) < 0 ? Outcome::nameTaken : Outcome::done;
}

VaultIndex::Outcome VaultIndex::insert(const FileRecord& record) {
  std::lock_guard lock(mutex_);
  Statement statement = prepare(db_, insertSql());
  return insertLocked(statement.get(), record);
}

VaultIndex::Outcome VaultIndex::insertAll(const std::vector<FileRecord>& records) {
  std::lock_guard lock(mutex_);
  // IMMEDIATE takes the write lock at once, so an "add" beside us waits on
  // the busy timeout instead of failing halfway.
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) fail(db_, "index write");
  try {
    Statement statement = prepare(db_, insertSql());
    for (const auto& record : records) {
      if (insertLocked(statement.get(), record) == Outcome::nameTaken) {
        statement.reset();
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return Outcome::nameTaken;
      }
    }
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    fail(db_, "index write");
  }
  return Outcome::done;
}

VaultIndex::Outcome VaultIndex::move(std::string_view id, Residency to) {
  std::lock_guard lock(mutex_);
  Statement statement = prepare(db_, "UPDATE files SET residency = ?, materialized = ? WHERE id = ?");
  bindText(db_, statement.get(), 1, slug(to));
  sqlite3_bind_int(statement.get(), 2, materializedIn(to) ? 1 : 0);
  bindText(db_, statement.get(), 3, id);
  int changed = execute(db_, statement.get());
  if (changed < 0) return Outcome::nameTaken;
  return changed == 0 ? Outcome::noSuchFile : Outcome::done;
}

VaultIndex::Outcome VaultIndex::updateContent(std::string_view id, std::int64_t size, double modifiedAt) {
  std::lock_guard lock(mutex_);
  Statement statement = prepare(db_, "UPDATE files SET size = ?, modified_at = ? WHERE id = ?");
  sqlite3_bind_int64(statement.get(), 1, size);
  sqlite3_bind_double(statement.get(), 2, modifiedAt);
  bindText(db_, statement.get(), 3, id);
  return execute(db_, statement.get()) == 0 ? Outcome::noSuchFile : Outcome::done;
}

VaultIndex::Outcome VaultIndex::remove(std::string_view id) {
  std::lock_guard lock(mutex_);
  Statement statement = prepare(db_, "DELETE FROM files WHERE id = ?");
  bindText(db_, statement.get(), 1, id);
  return execute(db_, statement.get()) == 0 ? Outcome::noSuchFile : Outcome::done;
}

std::string VaultIndex::meta(std::string_view key, const std::string& made) {
  std::lock_guard lock(mutex_);
  Statement insert = prepare(db_, "INSERT OR IGNORE INTO meta (key, value) VALUES (?, ?)");
  bindText(db_, insert.get(), 1, key);
  bindText(db_, insert.get(), 2, made);
  execute(db_, insert.get());
  Statement read = prepare(db_, "SELECT value FROM meta WHERE key = ?");
  bindText(db_, read.get(), 1, key);
  if (sqlite3_step(read.get()) != SQLITE_ROW) fail(db_, "index read");
  return columnText(read.get(), 0);
}

}  // namespace ostrel::companion
