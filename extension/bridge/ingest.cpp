#include <nlohmann/json.hpp>

#include <charconv>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "extension/bridge/bridge_error.hpp"
#include "extension/bridge/handshake.hpp"
#include "extension/bridge/ostrel_bridge.hpp"
#include "extension/bridge/percent_encoding.hpp"
#include "extension/bridge/transport.hpp"
#include "extension/bridge/upload_limit.hpp"
#include "platform/crypto.hpp"
#include "platform/files.hpp"

namespace ostrel {
namespace {

const char* const unreadableDrop = "could not read the dropped file";

std::string interpret(const std::string& body, std::string_view filename) {
  IngestResponse reply;
  try {
    reply = decodeIngestResponse(body);
  } catch (const DecodeError&) {
    throw BridgeError::malformed("ingest");
  }
  if (reply.skipped == "hidden") {
    throw BridgeError::refused("\u201C" + std::string(filename) + "\u201D is a hidden file and was skipped.");
  }
  if (reply.ok && reply.id) return *reply.id;
  throw BridgeError::malformed(reply.error.value_or("ingest refused"));
}

}  // namespace

std::string OstrelBridge::ingest(std::string_view filename, Residency residency,
                                 const std::filesystem::path& contents, std::string_view folder) const {
  Handshake first = handshake();
  if (first.streamIngest.value_or(false)) return ingestStreaming(first, filename, residency, contents, folder);
  return ingestJson(filename, residency, contents, folder);
}

std::string OstrelBridge::ingestStreaming(const Handshake& handshake, std::string_view filename,
                                          Residency residency, const std::filesystem::path& contents,
                                          std::string_view folder) const {
  auto size = platform::fileSize(contents);
  if (!size || *size < 0) throw BridgeError::malformed(unreadableDrop);
  checkUploadLimit(filename, *size, handshake.maxFileBytes);

  HttpRequest request{
      .path = "/vault/finder/ingest-stream",
      .method = "POST",
      .uploadFrom = contents,
      .headers = {{"X-Ostrel-Filename", percentEncode(filename)},
                  {"X-Ostrel-Residency", std::string(residency.slug())}},
      .timeout = settings_.streamingTimeout,
  };
  if (!folder.empty()) request.headers.emplace_back("X-Ostrel-Folder", percentEncode(folder));
  return interpret(this->request(request), filename);
}

std::string OstrelBridge::ingestJson(std::string_view filename, Residency residency,
                                     const std::filesystem::path& contents, std::string_view folder) const {
  // The size is judged before the file is read, so an oversized file is
  // never taken into memory.
  auto size = platform::fileSize(contents);
  if (!size || *size < 0) throw BridgeError::malformed(unreadableDrop);
  Handshake second = handshake();
  checkUploadLimit(filename, *size, second.maxFileBytes);

  std::string bytes;
  try {
    // A file that grew since it was measured is still held to the limit.
    std::size_t cap = (second.maxFileBytes && *second.maxFileBytes > 0)
                          ? static_cast<std::size_t>(*second.maxFileBytes)
                          : std::numeric_limits<std::size_t>::max();
    bytes = platform::readWholeFile(contents, cap);
  } catch (const std::system_error&) {
    throw BridgeError::malformed(unreadableDrop);
  } catch (const std::length_error&) {
    auto grown = platform::fileSize(contents).value_or(*size);
    checkUploadLimit(filename, grown, second.maxFileBytes);
    throw BridgeError::malformed(unreadableDrop);
  }

  nlohmann::json body = {
      {"filename", std::string(filename)},
      {"residency", std::string(residency.slug())},
      {"contentBase64", platform::base64Encode(bytes)},
  };
  bytes = {};
  if (!folder.empty()) body["folder"] = std::string(folder);
  return interpret(request(HttpRequest{
                       .path = "/vault/finder/ingest",
                       .method = "POST",
                       .body = body.dump(),
                       .timeout = settings_.requestTimeout,
                   }),
                   filename);
}

}  // namespace ostrel
