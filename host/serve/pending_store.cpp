#include "host/serve/pending_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include "platform/files.hpp"
#include "platform/log.hpp"

namespace ostrel::host {
namespace fs = std::filesystem;

namespace {

constexpr const char* recordSuffix = ".json";
constexpr const char* dataSuffix = ".data";
constexpr std::size_t maxRecordBytes = 1 << 20;

[[noreturn]] void fail(const char* what, const fs::path& path) {
  throw std::system_error(errno, std::generic_category(), std::string(what) + " " + path.string());
}

std::optional<LocalState> stateFrom(std::string_view text) {
  for (auto state : {LocalState::writing, LocalState::pending, LocalState::uploading, LocalState::excluded}) {
    if (text == stateName(state)) return state;
  }
  return std::nullopt;
}

std::optional<std::string> text(simdjson::dom::object object, const char* key) {
  std::string_view value;
  if (object[key].get_string().get(value) != simdjson::SUCCESS) return std::nullopt;
  return std::string(value);
}

// Every record of the store, parsed; the ones that cannot be read are
// reported and skipped.
template <class Visit>
void eachRecord(const fs::path& folder, Visit&& visit) {
  std::error_code ec;
  simdjson::dom::parser parser;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const fs::path& path = entry.path();
    if (path.extension() != recordSuffix) continue;
    simdjson::dom::object object;
    try {
      std::string bytes = platform::readWholeFile(path, maxRecordBytes);
      if (parser.parse(bytes).get_object().get(object) == simdjson::SUCCESS) {
        if (visit(path.stem().string(), object)) continue;
      }
    } catch (const std::exception& error) {
      platform::providerLog().error("pending record {} cannot be read: {}", path.string(), error.what());
      continue;
    }
    platform::providerLog().error("pending record {} is damaged; it is kept as it is", path.string());
  }
}

}  // namespace

const char* stateName(LocalState state) {
  switch (state) {
    case LocalState::writing: return "writing";
    case LocalState::pending: return "pending";
    case LocalState::uploading: return "uploading";
    case LocalState::excluded: return "excluded";
  }
  return "pending";
}

PendingStore::PendingStore(fs::path folder) : folder_(std::move(folder)) {
  fs::create_directories(folder_);
  ::chmod(folder_.c_str(), 0700);
}

fs::path PendingStore::dataPath(const std::string& key) const { return folder_ / (key + dataSuffix); }

std::vector<LocalFileRecord> PendingStore::files() const {
  std::vector<LocalFileRecord> found;
  eachRecord(folder_, [&](const std::string& key, simdjson::dom::object object) {
    if (text(object, "kind") != "file") return text(object, "kind") == "folder";
    auto parent = text(object, "parent");
    auto name = text(object, "name");
    auto state = text(object, "state");
    std::int64_t mode = 0644;
    if (object["mode"].get_int64().get(mode) != simdjson::SUCCESS) mode = 0644;
    if (!parent || !name || !state || !stateFrom(*state)) return false;
    LocalFileRecord record{.key = key,
                           .parent = *parent,
                           .name = *name,
                           .state = *stateFrom(*state),
                           .error = text(object, "error").value_or(""),
                           .mode = static_cast<mode_t>(mode & 07777)};
    found.push_back(std::move(record));
    return true;
  });
  return found;
}

std::vector<LocalFolderRecord> PendingStore::folders() const {
  std::vector<LocalFolderRecord> found;
  eachRecord(folder_, [&](const std::string& key, simdjson::dom::object object) {
    if (text(object, "kind") != "folder") return text(object, "kind") == "file";
    auto identifier = text(object, "identifier");
    auto parent = text(object, "parent");
    auto name = text(object, "name");
    if (!identifier || !parent || !name) return false;
    found.push_back(LocalFolderRecord{.key = key, .identifier = *identifier, .parent = *parent, .name = *name});
    return true;
  });
  return found;
}

void PendingStore::save(const LocalFileRecord& record) const {
  nlohmann::json json{{"kind", "file"},          {"parent", record.parent},
                      {"name", record.name},     {"state", stateName(record.state)},
                      {"error", record.error},   {"mode", static_cast<int>(record.mode)}};
  write(record.key, json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
}

void PendingStore::save(const LocalFolderRecord& record) const {
  nlohmann::json json{{"kind", "folder"},
                      {"identifier", record.identifier},
                      {"parent", record.parent},
                      {"name", record.name}};
  write(record.key, json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
}

void PendingStore::write(const std::string& key, const std::string& text) const {
  fs::path target = folder_ / (key + recordSuffix);
  fs::path temporary = folder_ / (key + recordSuffix + ".new");
  platform::UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd) fail("cannot create", temporary);
  std::string_view rest = text;
  while (!rest.empty()) {
    ssize_t n = ::write(fd.get(), rest.data(), rest.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::unlink(temporary.c_str());
      errno = saved;
      fail("cannot write", temporary);
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    fail("cannot replace", target);
  }
}

void PendingStore::remove(const std::string& key) const {
  // The record goes first, so a crash in between leaves bytes nobody sees
  // rather than bring a removed file back.
  ::unlink((folder_ / (key + recordSuffix)).c_str());
  ::unlink(dataPath(key).c_str());
}

}  // namespace ostrel::host
