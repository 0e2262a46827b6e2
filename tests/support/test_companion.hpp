#pragma once

// A scriptable stand-in for the companion app: an HTTP server on 127.0.0.1
// with a kernel-chosen port that records every request and plays scripted
// replies, and a temporary XDG_DATA_HOME holding its handshake file.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace httplib {
class Server;
}

namespace ostrel::testing {

struct RecordedRequest {
  std::string method;
  std::string path;    // without the query
  std::string target;  // path and query exactly as sent
  std::multimap<std::string, std::string> query;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;         // first bytes, up to the server's recording cap
  std::size_t bodySize = 0; // every byte received
  int remotePort = 0;

  std::string header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
  }
  bool hasHeader(const std::string& lowerName) const { return headers.count(lowerName) != 0; }
};

struct ScriptedReply {
  enum class Ending {
    complete,        // the whole body, with its length
    dropMidBody,     // headers announce the body, half of it comes, then the connection closes
    trickle,         // the body one byte every `trickleEvery`, chunked, for `trickleFor`
  };
  int status = 200;
  std::string body = R"({"ok":true,"files":[]})";
  std::string contentType = "application/json";
  std::chrono::milliseconds delay{0};  // before the reply starts
  Ending ending = Ending::complete;
  std::chrono::milliseconds trickleEvery{50};
  std::chrono::milliseconds trickleFor{2000};
};

class TestCompanion {
 public:
  TestCompanion();
  ~TestCompanion();
  TestCompanion(const TestCompanion&) = delete;
  TestCompanion& operator=(const TestCompanion&) = delete;

  int port() const { return port_; }

  // The reply to every later request for `path` (query ignored); the default
  // for unscripted paths is 404.
  void script(const std::string& path, ScriptedReply reply);
  // Replies used once each, in order, before the path's standing script.
  void scriptOnce(const std::string& path, ScriptedReply reply);

  std::vector<RecordedRequest> requests() const;
  std::size_t requestCount() const;
  // Distinct client connections seen so far.
  std::size_t connectionCount() const;
  void clearRecords();

  static constexpr std::size_t recordedBodyCap = std::size_t{64} << 20;

 private:
  ScriptedReply replyFor(const std::string& path);
  void record(RecordedRequest request);

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, ScriptedReply> standing_;             // guarded by mutex_
  std::map<std::string, std::vector<ScriptedReply>> once_;   // guarded by mutex_
  std::vector<RecordedRequest> requests_;                    // guarded by mutex_
  std::set<int> remotePorts_;                                // guarded by mutex_
};

// Answers every connection with fixed bytes and closes it, for replies that
// an HTTP server library will not produce (no body at all, nothing at all).
class RawReplyServer {
 public:
  explicit RawReplyServer(std::string reply);
  ~RawReplyServer();
  RawReplyServer(const RawReplyServer&) = delete;
  RawReplyServer& operator=(const RawReplyServer&) = delete;
  int port() const { return port_; }
  std::size_t connections() const { return connections_.load(); }
  // The request head of the last connection, bytes exactly as received.
  std::string lastRequestHead() const;

 private:
  std::string reply_;
  mutable std::mutex mutex_;
  std::string lastHead_;  // guarded by mutex_
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> connections_{0};
  std::thread thread_;
};

// A temporary XDG_DATA_HOME (set for the process while it lives) with the
// application group's container and its handshake file.
class HandshakeHome {
 public:
  HandshakeHome();
  ~HandshakeHome();
  HandshakeHome(const HandshakeHome&) = delete;
  HandshakeHome& operator=(const HandshakeHome&) = delete;

  std::filesystem::path container() const;
  std::filesystem::path handshakePath() const;
  std::filesystem::path root() const { return root_; }

  // A signed-in handshake for `port`, with `extra` merged over it.
  void write(int port, const nlohmann::json& extra = nlohmann::json::object());
  void writeRaw(const std::string& bytes);
  void removeHandshake();
  void removeContainer();

  static constexpr const char* token = "test-token-5f1c";

 private:
  std::filesystem::path root_;
  std::optional<std::string> previous_;
};

// A file in a temporary folder, removed with the object.
class TempFile {
 public:
  TempFile(const std::string& name, const std::string& contents);
  // A sparse file of `size` bytes.
  TempFile(const std::string& name, std::int64_t size);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path dir_;
  std::filesystem::path path_;
};

}  // namespace ostrel::testing
