#include "host/serve/content_cache.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>

#include "platform/uuid.hpp"

namespace ostrel::host {

namespace fs = std::filesystem;

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

std::string hex(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out.push_back(hexDigits[c >> 4]);
    out.push_back(hexDigits[c & 0xF]);
  }
  return out;
}

std::optional<std::string> unhex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high << 4 | low));
  }
  return out;
}

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Copies across file systems into a private file beside the target, so the
// final step is still a rename.
void copyInto(const fs::path& from, const fs::path& target) {
  fs::path part = target;
  part += ".part-" + platform::randomUuid();
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throwErrno("open " + from.string());
  int out = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    int saved = errno;
    ::close(in);
    errno = saved;
    throwErrno("create " + part.string());
  }
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) { ok = false; break; }
      done += put;
    }
    if (!ok) break;
  }
  int saved = errno;
  ::close(in);
  if (::close(out) != 0 && ok) { ok = false; saved = errno; }
  if (ok && ::rename(part.c_str(), target.c_str()) != 0) { ok = false; saved = errno; }
  if (!ok) {
    ::unlink(part.c_str());
    errno = saved;
    throwErrno("copy into the content cache");
  }
}

}  // namespace

ContentCache::ContentCache(fs::path folder) : folder_(std::move(folder)) {
  fs::create_directories(folder_);
  fs::permissions(folder_, fs::perms::owner_all);
}

fs::path ContentCache::pathFor(const std::string& identifier, const std::string& contentVersion) const {
  return folder_ / (hex(identifier) + "-" + hex(contentVersion));
}

int ContentCache::open(const std::string& identifier, const std::string& contentVersion) const {
  return ::open(pathFor(identifier, contentVersion).c_str(), O_RDONLY | O_CLOEXEC);
}

bool ContentCache::contains(const std::string& identifier, const std::string& contentVersion) const {
  struct stat st {};
  return ::stat(pathFor(identifier, contentVersion).c_str(), &st) == 0;
}

fs::path ContentCache::adopt(const std::string& identifier, const std::string& contentVersion,
                             const fs::path& downloaded) {
  fs::path target = pathFor(identifier, contentVersion);
  ::chmod(downloaded.c_str(), 0600);
  if (::rename(downloaded.c_str(), target.c_str()) != 0) {
    if (errno != EXDEV) {
      int saved = errno;
      ::unlink(downloaded.c_str());
      errno = saved;
      throwErrno("move into the content cache");
    }
    try {
      copyInto(downloaded, target);
    } catch (...) {
      ::unlink(downloaded.c_str());
      throw;
    }
    ::unlink(downloaded.c_str());
  }

  const std::string prefix = hex(identifier) + "-";
  const std::string keep = target.filename().string();
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder_, ignored)) {
    std::string name = entry.path().filename().string();
    if (name != keep && name.starts_with(prefix) && name.find('.') == std::string::npos) {
      fs::remove(entry.path(), ignored);
    }
  }
  return target;
}

std::vector<ContentCache::Entry> ContentCache::entries() const {
  std::vector<Entry> found;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder_, ignored)) {
    std::string name = entry.path().filename().string();
    auto dash = name.find('-');
    if (dash == std::string::npos) continue;
    auto id = unhex(std::string_view(name).substr(0, dash));
    auto version = unhex(std::string_view(name).substr(dash + 1));
    if (!id || !version) continue;
    found.push_back(Entry{.identifier = *id, .contentVersion = *version, .path = entry.path()});
  }
  return found;
}

}  // namespace ostrel::host
