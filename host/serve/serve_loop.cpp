#include "host/serve/serve_loop.hpp"

#include <malloc.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "host/exit_status.hpp"
#include "host/serve/control_server.hpp"
#include "host/serve/control_server_requests.hpp"
#include "host/serve/domain_state.hpp"
#include "platform/app_group.hpp"
#include "platform/fileprovider/control_socket.hpp"
#include "platform/files.hpp"
#include "platform/log.hpp"

namespace ostrel::host {
namespace fs = std::filesystem;

namespace {

std::optional<long long> positive(const std::string& text) {
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

// SIGINT and SIGTERM arrive as reads of this descriptor. Blocked before any
// thread starts, so every thread inherits the mask and none is interrupted.
platform::UniqueFd stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return platform::UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC));
}

int awaitStop(int fd) {
  signalfd_siginfo info{};
  for (;;) {
    ssize_t n = ::read(fd, &info, sizeof info);
    if (n == static_cast<ssize_t>(sizeof info)) return static_cast<int>(info.ssi_signo);
    if (n < 0 && errno != EINTR) return 0;
  }
}

// A listing of a big vault passes through buffers of tens of MiB on
// whichever thread asked. Left to itself, glibc serves them from per-thread
// arenas and keeps what was freed there, so the host's memory would grow
// with every FUSE thread that ever listed. Buffers this big are mapped and
// unmapped instead, and few arenas are kept.
void boundHeap() {
  ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
  ::mallopt(M_ARENA_MAX, 2);
}

}  // namespace

std::variant<ServeOptions, std::string> parseServeOptions(std::span<const std::string> words) {
  ServeOptions options;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      std::string prefix = std::string(name) + "=";
      if (word.starts_with(prefix)) return word.substr(prefix.size());
      if (word == name && i + 1 < words.size()) return words[++i];
      return std::nullopt;
    };
    if (word == "--foreground") continue;
    if (word == "--mount-root" || word.starts_with("--mount-root=")) {
      auto dir = value("--mount-root");
      if (!dir || dir->empty()) return std::string("--mount-root needs a folder");
      options.mountRoot = fs::absolute(*dir).lexically_normal();
      continue;
    }
    if (word == "--change-interval" || word.starts_with("--change-interval=")) {
      auto ms = value("--change-interval");
      auto parsed = ms ? positive(*ms) : std::nullopt;
      if (!parsed) return std::string("--change-interval needs a positive number of milliseconds");
      options.changeInterval = std::chrono::milliseconds(*parsed);
      continue;
    }
    return "unknown option \"" + word + "\"";
  }
  return options;
}

int runServe(std::span<const std::string> words, const MountFactory& factory, std::ostream& err) {
  auto parsed = parseServeOptions(words);
  if (auto* problem = std::get_if<std::string>(&parsed)) {
    err << "ostrel-fphost serve: " << *problem << "\nusage:\n" << serveSynopsis;
    return exitUsage;
  }
  ServeOptions options = std::get<ServeOptions>(parsed);
  boundHeap();
  if (options.mountRoot.empty()) options.mountRoot = platform::homeFolder() / "CloudStorage";

  platform::UniqueFd signals = stopSignals();
  if (!signals) {
    err << "ostrel-fphost serve: cannot watch for signals: " << std::strerror(errno) << "\n";
    return exitServeFailed;
  }

  auto& log = platform::providerLog();
  MountedDomains domains(ServeSettings{.mountRoot = options.mountRoot,
                                       .stateFolder = serveStateFolder(),
                                       .cacheFolder = serveCacheFolder(),
                                       .changeInterval = options.changeInterval},
                         factory);
  std::error_code ec;
  fs::create_directories(options.mountRoot, ec);

  // Listen before mounting, so a second host gives up before it touches a
  // mount point the first one serves.
  auto listening = ControlServer::listen(
      ControlServerSettings{.socket = platform::fileprovider::controlSocketPath()},
      [&domains](std::string_view line) { return answerRequest(domains, line); });
  if (auto* error = std::get_if<platform::fileprovider::Error>(&listening)) {
    err << "ostrel-fphost serve: " << error->localizedDescription.value_or("cannot listen") << "\n";
    return error->code == EADDRINUSE ? exitAlreadyServing : exitServeFailed;
  }
  auto& server = std::get<std::unique_ptr<ControlServer>>(listening);
  log.info("listening at {}; mounting under {}", platform::fileprovider::controlSocketPath().string(),
           options.mountRoot.string());

  try {
    for (const auto& [domain, error] : domains.restore()) {
      log.error("cannot mount \"{}\": {} (code {})", domain.identifier,
                platform::fileprovider::describe(error), error.code);
    }
  } catch (const std::exception& e) {
    // A damaged state file is the user's registrations: report it, never overwrite it.
    err << "ostrel-fphost serve: " << e.what() << "\n";
    server->stop();
    return exitServeFailed;
  }

  int signal = awaitStop(signals.get());
  log.info("stopping on signal {}", signal);
  server->stop();
  domains.stopAll();
  log.info("stopped");
  return exitOk;
}

}  // namespace ostrel::host
