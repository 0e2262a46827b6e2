#include <openssl/rand.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <thread>

#include "companion/app.hpp"
#include "companion/fault_plan.hpp"
#include "companion/handshake_writer.hpp"
#include "companion/log.hpp"
#include "companion/seed.hpp"
#include "companion/server.hpp"
#include "companion/vault_error.hpp"
#include "platform/crypto.hpp"

namespace ostrel::companion {
namespace {

std::string randomToken() {
  std::array<std::uint8_t, 32> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) throw VaultError("no random bytes for a token");
  return platform::hexEncode(bytes);
}

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

int runServe(const ServeOptions& options) {
  // Blocked before any thread starts, so only the wait below receives them.
  sigset_t signals = stopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  auto folder = options.vault.empty() ? defaultVaultFolder() : options.vault;
  std::optional<Vault> vault;
  std::string token;
  try {
    vault.emplace(folder);
    vault->recover();
    if (options.seed) seedVault(*vault, *options.seed);
    token = randomToken();
  } catch (const std::exception& error) {
    companionLog().error("{}", error.what());
    return 1;
  }

  SettingsBox settings(options.settings);
  Companion companion{*vault, settings};
  FaultPlan faults;
  CompanionServer server(companion, token, options.testControls ? &faults : nullptr, options.keepAliveSeconds);
  int port = server.bind();
  if (port <= 0) {
    companionLog().error("cannot listen on 127.0.0.1");
    return 1;
  }

  Endpoint endpoint{.port = port, .token = token, .vaultId = vault->vaultId(), .accountId = vault->accountId()};
  HandshakeWriter handshake(defaultHandshakePath());
  try {
    handshake.write(handshakeJson(endpoint, settings.get()));
  } catch (const std::exception& error) {
    companionLog().error("cannot write the handshake: {}", error.what());
    return 1;
  }
  settings.onChange([&](const Settings& changed) {
    try {
      handshake.write(handshakeJson(endpoint, changed));
      companionLog().info("state {}, handshake rewritten", name(changed.state));
    } catch (const std::exception& error) {
      companionLog().error("cannot rewrite the handshake: {}", error.what());
    }
  });

  std::atomic<bool> serving{true};
  std::atomic<bool> stopping{false};
  std::atomic<bool> failed{false};
  std::thread thread([&] {
    if (!server.serve() || !stopping) {
      companionLog().error("the server stopped unexpectedly");
      failed = true;
    }
    serving = false;
  });
  while (serving && !server.running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  companionLog().info("vault {} at {}, state {}", endpoint.vaultId, folder.string(), name(settings.get().state));
  std::cout << "ready port=" << port << std::endl;

  timespec tick{0, 200'000'000};
  while (serving) {
    int got = sigtimedwait(&signals, nullptr, &tick);
    if (got == SIGINT || got == SIGTERM) {
      companionLog().info("stopping on signal {}", got);
      break;
    }
  }
  // The handshake goes first, so the extension stops calling at once.
  handshake.retire();
  stopping = true;
  server.stop();
  thread.join();
  return failed ? 1 : 0;
}

}  // namespace ostrel::companion
