#include "extension/bridge/transport.hpp"

#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

#include "extension/bridge/bridge_error.hpp"
#include "platform/files.hpp"

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;

void initCurlOnce() {
  static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)initialised;
}

// One easy handle inside its own multi handle. The multi handle keeps the
// connection cache, so a pooled pair reuses its keep-alive connection.
class Connection {
 public:
  Connection() : multi_(curl_multi_init()), easy_(curl_easy_init()) {
    if (multi_ == nullptr || easy_ == nullptr) throw std::bad_alloc();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    curl_easy_cleanup(easy_);
    curl_multi_cleanup(multi_);
  }
  CURLM* multi() const { return multi_; }
  CURL* easy() const { return easy_; }

 private:
  CURLM* multi_;
  CURL* easy_;
};

class ConnectionPool {
 public:
  std::unique_ptr<Connection> acquire() {
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        auto connection = std::move(idle_.back());
        idle_.pop_back();
        return connection;
      }
    }
    initCurlOnce();
    return std::make_unique<Connection>();
  }

  void release(std::unique_ptr<Connection> connection) {
    std::lock_guard lock(mutex_);
    if (idle_.size() < maxIdle) idle_.push_back(std::move(connection));
  }

 private:
  static constexpr std::size_t maxIdle = 16;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> idle_;  // guarded by mutex_
};

ConnectionPool& pool() {
  static ConnectionPool instance;
  return instance;
}

// Hands a connection back to the pool only when the exchange ended cleanly;
// one that failed or was cut off is closed.
class Lease {
 public:
  Lease() : connection_(pool().acquire()) {}
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  ~Lease() {
    if (reusable_) pool().release(std::move(connection_));
  }
  Connection& operator*() const { return *connection_; }
  void markReusable() { reusable_ = true; }

 private:
  std::unique_ptr<Connection> connection_;
  bool reusable_ = false;
};

class CurlHeaders {
 public:
  CurlHeaders() = default;
  CurlHeaders(const CurlHeaders&) = delete;
  CurlHeaders& operator=(const CurlHeaders&) = delete;
  ~CurlHeaders() { curl_slist_free_all(list_); }
  void add(const std::string& line) {
    curl_slist* grown = curl_slist_append(list_, line.c_str());
    if (grown == nullptr) throw std::bad_alloc();
    list_ = grown;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// What the callbacks gather while the transfer runs.
struct Exchange {
  CURL* easy = nullptr;
  ReplySink* sink = nullptr;
  std::size_t maxErrorBodyBytes = 0;
  bool framed = false;       // the final response announced a body length or chunking
  bool gotBytes = false;
  std::string errorBody;     // body of a reply outside 200 to 299, capped
  std::exception_ptr failure;  // thrown by the sink
  int uploadFd = -1;
};

long responseStatus(CURL* easy) {
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    exchange->framed = false;  // a new response (after a 1xx) starts afresh
  } else if (line.size() >= 15 && (strncasecmp(line.data(), "content-length:", 15) == 0)) {
    exchange->framed = true;
  } else if (line.size() >= 18 && strncasecmp(line.data(), "transfer-encoding:", 18) == 0) {
    exchange->framed = true;
  }
  return size * count;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  std::string_view bytes(data, size * count);
  exchange->gotBytes = exchange->gotBytes || !bytes.empty();
  long status = responseStatus(exchange->easy);
  if (status < 200 || status > 299) {
    auto room = exchange->maxErrorBodyBytes - std::min(exchange->maxErrorBodyBytes, exchange->errorBody.size());
    exchange->errorBody.append(bytes.substr(0, room));
    return bytes.size();
  }
  try {
    exchange->sink->write(bytes);
    return bytes.size();
  } catch (...) {
    exchange->failure = std::current_exception();
    return 0;  // makes curl stop with a write error
  }
}

std::size_t onUpload(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  for (;;) {
    ssize_t n = ::read(exchange->uploadFd, buffer, size * count);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return CURL_READFUNC_ABORT;
  }
}

bool hasLineBreak(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string headerLine(std::string_view name, std::string_view value) {
  // A value that ends a header line would let the sender forge headers.
  if (hasLineBreak(name) || hasLineBreak(value)) {
    throw BridgeError::malformed("transport: the header " + std::string(name) + " holds a line break");
  }
  // curl drops a header given as "Name:" with nothing after it; "Name;" sends it empty.
  if (value.empty()) return std::string(name) + ";";
  return std::string(name) + ": " + std::string(value);
}

// The one place where curl results become bridge errors.
BridgeError transportError(CURLcode code, const char* detail) {
  switch (code) {
    case CURLE_COULDNT_CONNECT:   // refused
    case CURLE_GOT_NOTHING:       // closed before answering
    case CURLE_SEND_ERROR:        // lost while sending
    case CURLE_RECV_ERROR:        // lost while receiving
    case CURLE_PARTIAL_FILE:      // lost in the middle of the body
      return BridgeError::appNotRunning();
    default:
      break;
  }
  std::string description = (detail != nullptr && *detail != '\0') ? detail : curl_easy_strerror(code);
  return BridgeError::malformed("transport: " + description);
}

std::string deadlineText(double seconds) {
  return "Ostrel did not respond within " + std::to_string(static_cast<long long>(std::floor(seconds))) + "s";
}

}  // namespace

void sendRequest(const Handshake& handshake, const HttpRequest& request, ReplySink& sink,
                 const TransportLimits& limits) {
  if (handshake.port < 1 || handshake.port > 65535) {
    throw BridgeError::malformed("transport: the handshake's port " + std::to_string(handshake.port) +
                                 " is not a TCP port");
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(handshake.port) + request.path;

  CurlHeaders headers;
  std::vector<std::pair<std::string, std::string>> fields{
      {"X-Ostrel-Sync-Token", handshake.token},
      {"Content-Type", request.uploadFrom ? "application/octet-stream" : "application/json"},
  };
  for (const auto& [name, value] : request.headers) {
    auto same = std::find_if(fields.begin(), fields.end(), [&](const auto& field) {
      return strcasecmp(field.first.c_str(), name.c_str()) == 0;
    });
    if (same != fields.end()) same->second = value;
    else fields.emplace_back(name, value);
  }
  for (const auto& [name, value] : fields) headers.add(headerLine(name, value));
  headers.add("Expect:");  // no 100-continue round trip on loopback

  platform::UniqueFd upload;
  curl_off_t uploadSize = 0;
  if (request.uploadFrom) {
    upload = platform::UniqueFd(::open(request.uploadFrom->c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!upload || ::fstat(upload.get(), &st) != 0) {
      throw BridgeError::malformed("transport: cannot read " + request.uploadFrom->string() + ": " +
                                   std::strerror(errno));
    }
    uploadSize = static_cast<curl_off_t>(st.st_size);
  }

  Lease lease;
  CURL* easy = (*lease).easy();
  CURLM* multi = (*lease).multi();
  Exchange exchange;
  exchange.easy = easy;
  exchange.sink = &sink;
  exchange.maxErrorBodyBytes = limits.maxErrorBodyBytes;
  exchange.uploadFd = upload.get();
  char errorText[CURL_ERROR_SIZE] = {};

  curl_easy_reset(easy);  // keeps the connection cache
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXY, "");  // loopback never goes through a proxy
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &exchange);
  // The transfer's own limit is a stall of `timeout` seconds; the deadline
  // below bounds the whole exchange.
  auto timeoutMs = static_cast<long>(std::ceil(request.timeout * 1000));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, std::max(1L, timeoutMs));
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>(std::ceil(request.timeout))));
  if (request.method == "GET") {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    if (request.method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    if (request.uploadFrom) {
      curl_easy_setopt(easy, CURLOPT_READFUNCTION, onUpload);
      curl_easy_setopt(easy, CURLOPT_READDATA, &exchange);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, uploadSize);
    } else {
      // The body stays owned by `request`, which outlives the transfer.
      std::string_view body = request.body ? std::string_view(*request.body) : std::string_view();
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data() != nullptr ? body.data() : "");
    }
  }

  const double deadlineSeconds = request.timeout + limits.grace;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(deadlineSeconds));
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) throw std::bad_alloc();
  struct Detach {
    CURLM* multi;
    CURL* easy;
    ~Detach() { curl_multi_remove_handle(multi, easy); }
  } detach{multi, easy};

  std::optional<CURLcode> result;
  while (!result) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      throw BridgeError::malformed("transport: the request could not be driven");
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) result = message->data.result;
    }
    if (result) break;
    auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (remaining <= 0) throw BridgeError::http(408, deadlineText(deadlineSeconds));
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::min<long long>(remaining, 1000)), nullptr);
  }

  if (exchange.failure) std::rethrow_exception(exchange.failure);
  if (*result != CURLE_OK) throw transportError(*result, errorText);

  const long status = responseStatus(easy);
  const bool delivered = exchange.gotBytes || exchange.framed;
  if (status >= 200 && status <= 299) {
    if (!delivered) throw BridgeError::malformed("empty body");
    lease.markReusable();
    return;
  }
  lease.markReusable();
  std::optional<std::string> body;
  if (delivered) body = std::move(exchange.errorBody);
  throw bridgeError(status, body);
}

}  // namespace ostrel
