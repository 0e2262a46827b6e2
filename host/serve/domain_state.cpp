#include "host/serve/domain_state.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include "platform/app_group.hpp"
#include "platform/files.hpp"

namespace ostrel::host {
namespace fs = std::filesystem;
using platform::UniqueFd;
using platform::fileprovider::Domain;

namespace {

constexpr std::size_t kMaxStateBytes = 4 << 20;

fs::path xdgFolder(const char* variable, const char* fallbackUnderHome) {
  if (const char* value = std::getenv(variable); value != nullptr && *value == '/') {
    return fs::path(value) / "ostrel";
  }
  return platform::homeFolder() / fallbackUnderHome / "ostrel";
}

[[noreturn]] void fail(const char* what, const fs::path& path) {
  throw std::system_error(errno, std::generic_category(), std::string(what) + " " + path.string());
}

void writeAll(int fd, std::string_view bytes, const fs::path& path) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write", path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string field(simdjson::dom::object object, const char* key, const fs::path& file) {
  std::string_view value;
  if (object[key].get_string().get(value) != simdjson::SUCCESS) {
    throw std::runtime_error(file.string() + ": a domain lacks the text \"" + key + "\"");
  }
  return std::string(value);
}

}  // namespace

fs::path serveStateFolder() { return xdgFolder("XDG_STATE_HOME", ".local/state"); }
fs::path serveCacheFolder() { return xdgFolder("XDG_CACHE_HOME", ".cache"); }

std::vector<Domain> loadDomains(const fs::path& file) {
  std::string text;
  try {
    text = platform::readWholeFile(file, kMaxStateBytes);
  } catch (const std::system_error& e) {
    if (e.code().value() == ENOENT) return {};
    throw;
  }
  simdjson::dom::parser parser;
  simdjson::dom::object root;
  simdjson::dom::array list;
  if (parser.parse(text).get_object().get(root) != simdjson::SUCCESS ||
      root["domains"].get_array().get(list) != simdjson::SUCCESS) {
    throw std::runtime_error(file.string() + " is not a JSON object with a \"domains\" array");
  }
  std::vector<Domain> domains;
  for (simdjson::dom::element entry : list) {
    simdjson::dom::object fields;
    if (entry.get_object().get(fields) != simdjson::SUCCESS) {
      throw std::runtime_error(file.string() + ": a domain is not an object");
    }
    domains.push_back({field(fields, "identifier", file), field(fields, "displayName", file)});
  }
  return domains;
}

void saveDomains(const fs::path& file, const std::vector<Domain>& domains) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Domain& domain : domains) {
    list.push_back({{"identifier", domain.identifier}, {"displayName", domain.displayName}});
  }
  std::string text = nlohmann::ordered_json{{"version", 1}, {"domains", list}}.dump(
                         2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
                     "\n";

  fs::path folder = file.parent_path();
  fs::create_directories(folder);
  // Appended piece by piece: GCC 12 at -O3 warns falsely on "." + name.
  std::string temporary = folder.string();
  temporary += "/.";
  temporary += file.filename().string();
  temporary += ".XXXXXX";
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) fail("cannot create", temporary);
  try {
    writeAll(fd.get(), text, temporary);
    if (::fsync(fd.get()) != 0) fail("cannot sync", temporary);
    fd = UniqueFd();
    if (::rename(temporary.c_str(), file.c_str()) != 0) fail("cannot replace", file);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // The rename is durable only once the folder itself is synced.
  if (UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
    ::fsync(dir.get());
  }
}

}  // namespace ostrel::host
