#include "companion/server.hpp"

#include <openssl/crypto.h>

#include <memory>
#include <thread>

#include "companion/log.hpp"
#include "companion/routes/replies.hpp"
#include "companion/routes/routes.hpp"
#include "companion/test_controls.hpp"
#include "companion/vault_error.hpp"

namespace ostrel::companion {
namespace {

using Handler = void (*)(Companion&, const httplib::Request&, httplib::Response&);
using StreamHandler = void (*)(Companion&, const httplib::Request&, httplib::Response&, const httplib::ContentReader&);

constexpr std::size_t workerThreads = 32;   // the extension keeps several connections open
constexpr std::size_t keepAliveRequests = 1'000'000;
constexpr time_t ioTimeoutSeconds = 60;

bool hasBody(const httplib::Request& req) {
  return (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0") ||
         req.has_header("Transfer-Encoding");
}

bool sameToken(const std::string& given, const std::string& token) {
  return given.size() == token.size() && CRYPTO_memcmp(given.data(), token.data(), token.size()) == 0;
}

void replyVaultError(const std::exception& error, httplib::Response& res) {
  companionLog().error("request failed: {}", error.what());
  replyError(res, 500, "Ostrel could not use its vault: " + std::string(error.what()));
  closeAfterReply(res);
}

}  // namespace

CompanionServer::CompanionServer(Companion& companion, std::string token, FaultPlan* faults, int keepAliveSeconds)
    : companion_(companion), token_(std::move(token)), faults_(faults) {
  server_.new_task_queue = [] { return new httplib::ThreadPool(workerThreads); };
  server_.set_keep_alive_max_count(keepAliveRequests);
  server_.set_keep_alive_timeout(keepAliveSeconds);
  server_.set_read_timeout(ioTimeoutSeconds, 0);
  server_.set_write_timeout(ioTimeoutSeconds, 0);

  auto plain = [this](Handler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res) {
      try {
        handler(companion_, req, res);
      } catch (const std::exception& error) {
        replyVaultError(error, res);
      }
    };
  };
  auto streamed = [this](StreamHandler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
      try {
        handler(companion_, req, res, reader);
      } catch (const std::exception& error) {
        replyVaultError(error, res);
      }
    };
  };

  server_.Get ("/vault/finder/enumerate",     plain(routes::enumerate));
  server_.Get ("/vault/finder/content",       plain(routes::content));
  server_.Post("/vault/finder/reparent",      plain(routes::reparent));
  server_.Post("/vault/finder/ingest",        plain(routes::ingest));
  server_.Post("/vault/finder/ingest-stream", streamed(routes::ingestStream));
  if (faults_ != nullptr) registerTestControls(server_, companion_, *faults_);

  server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    return guard(req, res);
  });
  server_.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;
    if (res.status == 404) replyError(res, 404, "There is no endpoint " + req.method + " " + req.path + ".");
    else replyError(res, res.status, "The request could not be served.");
  });
  server_.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const std::exception& error) {
      replyVaultError(error, res);
      return;
    } catch (...) {
    }
    replyError(res, 500, "The request could not be served.");
    closeAfterReply(res);
  });
}

httplib::Server::HandlerResponse CompanionServer::guard(const httplib::Request& req, httplib::Response& res) {
  using Handled = httplib::Server::HandlerResponse;
  if (!sameToken(req.get_header_value("X-Ostrel-Sync-Token"), token_)) {
    replyError(res, 401, "The X-Ostrel-Sync-Token header is missing or wrong.");
    if (hasBody(req)) closeAfterReply(res);
    return Handled::Handled;
  }
  if (faults_ == nullptr || req.path.rfind("/vault/finder/", 0) != 0) return Handled::Unhandled;
  auto fault = faults_->take(req.path);
  if (!fault) return Handled::Unhandled;
  if (fault->delay.count() > 0) std::this_thread::sleep_for(fault->delay);
  if (fault->drop) {
    // Announces a body and cuts the connection before any of it.
    res.status = 200;
    res.set_content_provider(1024, "application/octet-stream",
                             [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
    return Handled::Handled;
  }
  if (!fault->status) return Handled::Unhandled;
  res.status = *fault->status;
  bool json = nlohmann::json::accept(fault->body);
  res.set_content(fault->body, json ? "application/json" : "text/plain");
  if (hasBody(req)) closeAfterReply(res);
  return Handled::Handled;
}

int CompanionServer::bind() { return server_.bind_to_any_port("127.0.0.1"); }

bool CompanionServer::serve() { return server_.listen_after_bind(); }

void CompanionServer::stop() { server_.stop(); }

}  // namespace ostrel::companion
