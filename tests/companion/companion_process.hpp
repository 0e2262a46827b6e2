#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace ostrel::testing {

// The built ostrel-companion running as a child process, with the
// environment of this one (so HandshakeHome's XDG_DATA_HOME reaches it).
// The constructor returns once it has printed its ready line; the
// destructor stops it with SIGTERM.
class CompanionProcess {
 public:
  explicit CompanionProcess(std::vector<std::string> args);
  ~CompanionProcess();
  CompanionProcess(const CompanionProcess&) = delete;
  CompanionProcess& operator=(const CompanionProcess&) = delete;

  int port() const { return port_; }
  // Sends `signal` and waits; the exit status, -1 when it did not exit.
  int stop(int signal);

  static std::string program();

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// A JSON request to the companion with the handshake's token (or `token`
// when given); the status and the parsed body (null when not JSON).
struct Reply {
  int status = 0;
  nlohmann::json body;
};
Reply post(const std::filesystem::path& handshake, const std::string& path, const nlohmann::json& body,
           const std::string& token = {});
Reply get(const std::filesystem::path& handshake, const std::string& target, const std::string& token = {});

nlohmann::json readJson(const std::filesystem::path& path);

}  // namespace ostrel::testing
