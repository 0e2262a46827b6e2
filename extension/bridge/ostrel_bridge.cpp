#include "extension/bridge/ostrel_bridge.hpp"

#include <nlohmann/json.hpp>

#include "extension/bridge/bridge_error.hpp"
#include "extension/bridge/handshake.hpp"
#include "extension/bridge/percent_encoding.hpp"
#include "extension/bridge/transport.hpp"

namespace ostrel {

Handshake OstrelBridge::handshake() const { return loadHandshake(); }

void OstrelBridge::request(const HttpRequest& request, ReplySink& sink) const {
  sendRequest(handshake(), request, sink, TransportLimits{.grace = settings_.grace});
}

std::string OstrelBridge::request(const HttpRequest& request) const {
  MemorySink sink(settings_.maxReplyBytes);
  this->request(request, sink);
  return sink.take();
}

std::vector<VaultFile> OstrelBridge::enumerate(Residency residency) const {
  auto body = request(HttpRequest{
      .path = "/vault/finder/enumerate?residency=" + std::string(residency.slug()),
      .method = "GET",
      .timeout = settings_.requestTimeout,
  });
  try {
    return decodeEnumerateResponse(body).files;
  } catch (const DecodeError&) {
    throw BridgeError::malformed("enumerate");
  }
}

void OstrelBridge::fetch(std::string_view id, ReplySink& sink) const {
  request(HttpRequest{
              .path = "/vault/finder/content?id=" + percentEncode(id),
              .method = "GET",
              .timeout = settings_.requestTimeout,
          },
          sink);
}

std::string OstrelBridge::fetch(std::string_view id) const {
  MemorySink sink(settings_.maxReplyBytes);
  fetch(id, sink);
  return sink.take();
}

void OstrelBridge::reparent(std::string_view id, Residency to) const {
  // nlohmann throws on text that is not UTF-8; that error reaches the caller unchanged.
  nlohmann::json body = {{"id", std::string(id)}, {"to", std::string(to.slug())}};
  request(HttpRequest{
      .path = "/vault/finder/reparent",
      .method = "POST",
      .body = body.dump(),
      .timeout = settings_.requestTimeout,
  });
}

}  // namespace ostrel
