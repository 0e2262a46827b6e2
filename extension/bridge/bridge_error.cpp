#include "extension/bridge/bridge_error.hpp"

#include <simdjson.h>

#include "platform/text.hpp"

namespace ostrel {
namespace {

std::string describe(BridgeError::Kind kind, std::int64_t status, const std::string& payload) {
  using Kind = BridgeError::Kind;
  switch (kind) {
    case Kind::http:
      return "Ostrel couldn\u2019t complete that (" + std::to_string(status) + "): " + payload;
    case Kind::malformed:
      return "Ostrel sent an unexpected response: " + payload;
    case Kind::tooLarge:
    case Kind::refused:
    case Kind::unreachable:
    case Kind::said:
      return payload;
    case Kind::appNotRunning:
      return "Ostrel isn\u2019t running. Open Ostrel to use this folder.";
    case Kind::notSignedIn:
      return "Sign in to Ostrel to use this folder.";
    case Kind::notReady:
      return "Ostrel is still setting up your account. This folder will work in a moment.";
    case Kind::clearingPrevious:
      return "Finder will show your files once the previous account is cleared. Ostrel is retrying.";
    case Kind::clearingStuck:
      return "Finder can\u2019t clear the previous account\u2019s files. Restart your Mac, then open Ostrel.";
  }
  return payload;
}

}  // namespace

BridgeError::BridgeError(Kind kind, std::int64_t status, std::string payload)
    : kind_(kind), status_(status), payload_(std::move(payload)),
      description_(describe(kind_, status_, payload_)) {}

BridgeError BridgeError::http(std::int64_t status, std::string body) { return {Kind::http, status, std::move(body)}; }
BridgeError BridgeError::malformed(std::string text) { return {Kind::malformed, 0, std::move(text)}; }
BridgeError BridgeError::tooLarge(std::string sentence) { return {Kind::tooLarge, 0, std::move(sentence)}; }
BridgeError BridgeError::refused(std::string sentence) { return {Kind::refused, 0, std::move(sentence)}; }
BridgeError BridgeError::unreachable(std::string sentence) { return {Kind::unreachable, 0, std::move(sentence)}; }
BridgeError BridgeError::said(std::string sentence) { return {Kind::said, 0, std::move(sentence)}; }
BridgeError BridgeError::appNotRunning() { return {Kind::appNotRunning, 0, {}}; }
BridgeError BridgeError::notSignedIn() { return {Kind::notSignedIn, 0, {}}; }
BridgeError BridgeError::notReady() { return {Kind::notReady, 0, {}}; }
BridgeError BridgeError::clearingPrevious() { return {Kind::clearingPrevious, 0, {}}; }
BridgeError BridgeError::clearingStuck() { return {Kind::clearingStuck, 0, {}}; }

std::string_view toString(BridgeError::Kind kind) {
  using Kind = BridgeError::Kind;
  switch (kind) {
    case Kind::http: return "http";
    case Kind::malformed: return "malformed";
    case Kind::tooLarge: return "tooLarge";
    case Kind::refused: return "refused";
    case Kind::unreachable: return "unreachable";
    case Kind::said: return "said";
    case Kind::appNotRunning: return "appNotRunning";
    case Kind::notSignedIn: return "notSignedIn";
    case Kind::notReady: return "notReady";
    case Kind::clearingPrevious: return "clearingPrevious";
    case Kind::clearingStuck: return "clearingStuck";
  }
  return "unknown";
}

BridgeError bridgeError(std::int64_t status, const std::optional<std::string>& body) {
  std::optional<std::string> sentence;
  bool hasRefusal = false;
  bool cloudUnreachable = false;
  if (body) {
    simdjson::dom::parser parser;
    simdjson::dom::object reply;
    if (!parser.parse(body->data(), body->size()).get_object().get(reply)) {
      std::string_view text;
      if (!reply["error"].get_string().get(text) && !text.empty()) sentence = std::string(text);
      std::string_view refusal;
      hasRefusal = !reply["refusal"].get_string().get(refusal);
      std::string_view retry;
      cloudUnreachable = !reply["retry"].get_string().get(retry) && retry == "cloud-unreachable";
    }
  }
  std::string_view replyText;
  if (body && platform::isValidUtf8(*body)) replyText = *body;

  if (sentence && hasRefusal) return BridgeError::refused(*sentence);
  if (status == 409 && replyText.find("no vault bound") != std::string_view::npos) {
    return BridgeError::notReady();
  }
  if (sentence) {
    return cloudUnreachable ? BridgeError::unreachable(*sentence) : BridgeError::said(*sentence);
  }
  return BridgeError::http(status, std::string(platform::graphemePrefix(replyText, 200)));
}

}  // namespace ostrel
