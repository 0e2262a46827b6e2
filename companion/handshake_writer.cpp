#include "companion/handshake_writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "platform/app_group.hpp"
#include "platform/files.hpp"

namespace ostrel::companion {
namespace {

[[noreturn]] void failErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

nlohmann::json handshakeJson(const Endpoint& endpoint, const Settings& settings) {
  bool clearing = settings.state == AccountState::clearing || settings.state == AccountState::stuck;
  nlohmann::json out = {
      {"port", endpoint.port},
      {"token", endpoint.token},
      {"maxFileBytes", settings.maxFileBytes},
      {"streamIngest", settings.streamIngest},
      {"signedIn", settings.state != AccountState::signedOut},
      {"clearing", clearing},
      {"stuck", settings.state == AccountState::stuck},
  };
  if (settings.state != AccountState::signedOut) out["accountId"] = endpoint.accountId;
  if (settings.state == AccountState::ready || clearing) out["vaultId"] = endpoint.vaultId;
  return out;
}

std::filesystem::path defaultHandshakePath() {
  std::filesystem::path dataHome;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
    dataHome = xdg;
  } else {
    dataHome = platform::homeFolder() / ".local" / "share";
  }
  return dataHome / "group-containers" / appGroup / handshakeName;
}

void HandshakeWriter::write(const nlohmann::json& handshake) {
  std::lock_guard lock(mutex_);
  if (retired_) return;
  std::filesystem::create_directories(file_.parent_path());
  std::string text = handshake.dump() + "\n";
  std::string pattern = (file_.parent_path() / ("." + file_.filename().string() + ".XXXXXX")).string();
  // mkstemp creates the file with mode 0600.
  platform::UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (!fd) failErrno("cannot create " + pattern);
  std::string_view rest = text;
  while (!rest.empty()) {
    ssize_t n = ::write(fd.get(), rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int saved = errno;
      ::unlink(pattern.c_str());
      errno = saved;
      failErrno("cannot write " + pattern);
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::fsync(fd.get()) != 0 || ::rename(pattern.c_str(), file_.c_str()) != 0) {
    int saved = errno;
    ::unlink(pattern.c_str());
    errno = saved;
    failErrno("cannot publish " + file_.string());
  }
}

void HandshakeWriter::retire() {
  std::lock_guard lock(mutex_);
  retired_ = true;
  ::unlink(file_.c_str());
}

}  // namespace ostrel::companion
