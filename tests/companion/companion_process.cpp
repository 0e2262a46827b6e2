#include "tests/companion/companion_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace ostrel::testing {
namespace {

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

httplib::Headers headersFor(const std::filesystem::path& handshake, const std::string& token) {
  return {{"X-Ostrel-Sync-Token", token.empty() ? readJson(handshake)["token"].get<std::string>() : token}};
}

Reply replyOf(const httplib::Result& result) {
  if (!result) throw std::runtime_error("no reply from the companion");
  return {result->status, nlohmann::json::parse(result->body, nullptr, false)};
}

}  // namespace

std::string CompanionProcess::program() { return OSTREL_COMPANION_PATH; }

CompanionProcess::CompanionProcess(std::vector<std::string> args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::string path = program();
  std::vector<char*> argv{path.data()};
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int spawned = ::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    throw std::runtime_error("cannot start " + path);
  }
  std::string out;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (out.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd polled{fds[0], POLLIN, 0};
    if (::poll(&polled, 1, 100) <= 0) continue;
    char buffer[256];
    ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  if (out.rfind("ready port=", 0) != 0) {
    stop(SIGKILL);
    throw std::runtime_error("the companion did not get ready: " + out);
  }
  port_ = std::stoi(out.substr(11));
}

CompanionProcess::~CompanionProcess() {
  if (pid_ > 0) stop(SIGTERM);
}

int CompanionProcess::stop(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int status = waitFor(pid_);
  pid_ = -1;
  return status;
}

nlohmann::json readJson(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return nlohmann::json::parse(text.str());
}

Reply post(const std::filesystem::path& handshake, const std::string& path, const nlohmann::json& body,
           const std::string& token) {
  httplib::Client client("127.0.0.1", readJson(handshake)["port"].get<int>());
  return replyOf(client.Post(path.c_str(), headersFor(handshake, token), body.dump(), "application/json"));
}

Reply get(const std::filesystem::path& handshake, const std::string& target, const std::string& token) {
  httplib::Client client("127.0.0.1", readJson(handshake)["port"].get<int>());
  return replyOf(client.Get(target.c_str(), headersFor(handshake, token)));
}

}  // namespace ostrel::testing
