#include "tests/support/test_companion.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace ostrel::testing {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::filesystem::path makeTempDir(const std::string& stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

}  // namespace

TestCompanion::TestCompanion() : server_(std::make_unique<httplib::Server>()) {
  server_->set_keep_alive_max_count(1000000);
  server_->set_keep_alive_timeout(1);  // lets the destructor finish quickly
  server_->set_read_timeout(30, 0);
  server_->set_write_timeout(30, 0);

  auto respond = [this](const httplib::Request& req, httplib::Response& res, RecordedRequest recorded) {
    recorded.method = req.method;
    recorded.path = req.path;
    recorded.target = req.target;
    recorded.remotePort = req.remote_port;
    for (const auto& [k, v] : req.params) recorded.query.emplace(k, v);
    for (const auto& [k, v] : req.headers) recorded.headers[lower(k)] = v;
    record(std::move(recorded));

    ScriptedReply reply = replyFor(req.path);
    if (reply.delay.count() > 0) std::this_thread::sleep_for(reply.delay);
    res.status = reply.status;
    switch (reply.ending) {
      case ScriptedReply::Ending::complete:
        res.set_content(reply.body, reply.contentType.c_str());
        break;
      case ScriptedReply::Ending::dropMidBody: {
        auto body = std::make_shared<std::string>(reply.body);
        res.set_content_provider(body->size(), reply.contentType.c_str(),
                                 [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                   if (offset == 0) sink.write(body->data(), body->size() / 2);
                                   return false;  // cuts the connection
                                 });
        break;
      }
      case ScriptedReply::Ending::trickle: {
        auto until = std::chrono::steady_clock::now() + reply.trickleFor;
        auto every = reply.trickleEvery;
        res.set_chunked_content_provider(reply.contentType.c_str(),
                                         [until, every](std::size_t, httplib::DataSink& sink) {
                                           if (std::chrono::steady_clock::now() >= until) {
                                             sink.done();
                                             return true;
                                           }
                                           std::this_thread::sleep_for(every);
                                           return sink.write(" ", 1);
                                         });
        break;
      }
    }
  };

  server_->Get(".*", [respond](const httplib::Request& req, httplib::Response& res) {
    RecordedRequest recorded;
    recorded.body = req.body;
    recorded.bodySize = req.body.size();
    respond(req, res, std::move(recorded));
  });
  server_->Post(".*", [respond](const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& reader) {
    // Streamed so that a huge upload is counted, not held.
    RecordedRequest recorded;
    reader([&](const char* data, std::size_t length) {
      recorded.bodySize += length;
      std::size_t room = recordedBodyCap - std::min(recordedBodyCap, recorded.body.size());
      recorded.body.append(data, std::min(room, length));
      return true;
    });
    respond(req, res, std::move(recorded));
  });

  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("test companion could not bind");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestCompanion::~TestCompanion() {
  server_->stop();
  thread_.join();
}

void TestCompanion::script(const std::string& path, ScriptedReply reply) {
  std::lock_guard lock(mutex_);
  standing_[path] = std::move(reply);
}

void TestCompanion::scriptOnce(const std::string& path, ScriptedReply reply) {
  std::lock_guard lock(mutex_);
  once_[path].push_back(std::move(reply));
}

ScriptedReply TestCompanion::replyFor(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (auto it = once_.find(path); it != once_.end() && !it->second.empty()) {
    ScriptedReply reply = std::move(it->second.front());
    it->second.erase(it->second.begin());
    return reply;
  }
  if (auto it = standing_.find(path); it != standing_.end()) return it->second;
  return ScriptedReply{.status = 404, .body = "no script for " + path, .contentType = "text/plain"};
}

void TestCompanion::record(RecordedRequest request) {
  std::lock_guard lock(mutex_);
  remotePorts_.insert(request.remotePort);
  requests_.push_back(std::move(request));
}

std::vector<RecordedRequest> TestCompanion::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t TestCompanion::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

std::size_t TestCompanion::connectionCount() const {
  std::lock_guard lock(mutex_);
  return remotePorts_.size();
}

void TestCompanion::clearRecords() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  remotePorts_.clear();
}

RawReplyServer::RawReplyServer(std::string reply) : reply_(std::move(reply)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("raw reply server could not listen");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] {
    while (!stopping_) {
      pollfd waiting{listenFd_, POLLIN, 0};
      if (::poll(&waiting, 1, 50) <= 0) continue;
      int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ++connections_;
      // Read the request head before answering, so the client sees a reply
      // rather than a reset.
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd readable{client, POLLIN, 0};
        if (::poll(&readable, 1, 2000) <= 0) break;
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
      }
      // Drain an announced body too, so that closing does not reset the
      // connection under the client's feet.
      auto headEnd = head.find("\r\n\r\n");
      std::size_t bodyLength = 0;
      std::string lowered = head.substr(0, headEnd);
      std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
      if (auto at = lowered.find("content-length:"); at != std::string::npos) {
        bodyLength = std::strtoull(lowered.c_str() + at + 15, nullptr, 10);
      }
      std::size_t have = headEnd == std::string::npos ? 0 : head.size() - headEnd - 4;
      while (have < bodyLength) {
        pollfd readable{client, POLLIN, 0};
        if (::poll(&readable, 1, 2000) <= 0) break;
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
      }
      {
        std::lock_guard lock(mutex_);
        lastHead_ = head.substr(0, headEnd);
      }
      if (!reply_.empty()) (void)::send(client, reply_.data(), reply_.size(), MSG_NOSIGNAL);
      ::shutdown(client, SHUT_WR);
      ::close(client);
    }
  });
}

std::string RawReplyServer::lastRequestHead() const {
  std::lock_guard lock(mutex_);
  return lastHead_;
}

RawReplyServer::~RawReplyServer() {
  stopping_ = true;
  thread_.join();
  ::close(listenFd_);
}

HandshakeHome::HandshakeHome() : root_(makeTempDir("ostrel-data")) {
  if (const char* old = std::getenv("XDG_DATA_HOME")) previous_ = old;
  ::setenv("XDG_DATA_HOME", root_.c_str(), 1);
  std::filesystem::create_directories(container());
}

HandshakeHome::~HandshakeHome() {
  if (previous_) ::setenv("XDG_DATA_HOME", previous_->c_str(), 1);
  else ::unsetenv("XDG_DATA_HOME");
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

std::filesystem::path HandshakeHome::container() const {
  return root_ / "group-containers" / "K7Q2XW9MLR.com.ostrel.app";
}

std::filesystem::path HandshakeHome::handshakePath() const {
  return container() / "finder-drive-handshake.json";
}

void HandshakeHome::write(int port, const nlohmann::json& extra) {
  nlohmann::json handshake = {{"port", port}, {"token", token}, {"signedIn", true}, {"vaultId", "vault-1"}};
  handshake.update(extra);
  writeRaw(handshake.dump());
}

void HandshakeHome::writeRaw(const std::string& bytes) {
  std::filesystem::create_directories(container());
  auto temporary = handshakePath();
  temporary += ".tmp";
  std::ofstream(temporary, std::ios::binary | std::ios::trunc) << bytes;
  std::filesystem::rename(temporary, handshakePath());
}

void HandshakeHome::removeHandshake() { std::filesystem::remove(handshakePath()); }

void HandshakeHome::removeContainer() { std::filesystem::remove_all(root_ / "group-containers"); }

TempFile::TempFile(const std::string& name, const std::string& contents)
    : dir_(makeTempDir("ostrel-file")), path_(dir_ / name) {
  std::ofstream(path_, std::ios::binary) << contents;
}

TempFile::TempFile(const std::string& name, std::int64_t size)
    : dir_(makeTempDir("ostrel-file")), path_(dir_ / name) {
  std::ofstream(path_, std::ios::binary).close();
  std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(size));
}

TempFile::~TempFile() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

}  // namespace ostrel::testing
