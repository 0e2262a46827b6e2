#include <charconv>
#include <utility>

#include "companion/header_text.hpp"
#include "companion/routes/ingest_target.hpp"
#include "companion/routes/replies.hpp"
#include "companion/routes/routes.hpp"

namespace ostrel::companion::routes {
namespace {

// Reads and drops the rest of the body so the connection stays usable.
bool drain(const httplib::ContentReader& reader) {
  return reader([](const char*, std::size_t) { return true; });
}

std::optional<std::int64_t> declaredLength(const httplib::Request& req) {
  if (!req.has_header("Content-Length")) return std::nullopt;
  std::string text = req.get_header_value("Content-Length");
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

void ingestStream(Companion& companion, const httplib::Request& req, httplib::Response& res,
                  const httplib::ContentReader& reader) {
  Settings settings = companion.settings.get();
  // Every refusal below comes before the body is read; the connection then
  // closes rather than read a huge upload only to throw it away.
  if (refusedByState(settings, res)) return closeAfterReply(res);
  auto filename = headerText(req.get_header_value("X-Ostrel-Filename"));
  auto folder = headerText(req.get_header_value("X-Ostrel-Folder"));
  if (!req.has_header("X-Ostrel-Filename") || !filename || !folder) {
    replyError(res, 400, "A streamed ingest needs a percent-encoded X-Ostrel-Filename header.");
    return closeAfterReply(res);
  }
  auto target = ingestTarget(*filename, req.get_header_value("X-Ostrel-Residency"), *folder, res);
  if (!target) {
    // A skipped hidden file is an answer, not a failure: read what was sent.
    if (res.status == 200 && drain(reader)) return;
    return closeAfterReply(res);
  }
  if (auto length = declaredLength(req); length && refusedBySize(*filename, *length, settings.maxFileBytes, res)) {
    return closeAfterReply(res);
  }

  BlobWriter writer = companion.vault.blobs().begin();
  std::int64_t tooLarge = 0;  // the bytes seen when the limit was passed
  bool received = reader([&](const char* data, std::size_t length) {
    std::int64_t seen = writer.size() + static_cast<std::int64_t>(length);
    if (settings.maxFileBytes > 0 && seen > settings.maxFileBytes) {
      tooLarge = seen;
      return false;
    }
    writer.write(std::string_view(data, length));
    return true;
  });
  if (tooLarge > 0) {
    refusedBySize(*filename, tooLarge, settings.maxFileBytes, res);
    return closeAfterReply(res);
  }
  if (!received) {
    replyError(res, 400, "The upload ended before its last byte.");
    return closeAfterReply(res);
  }
  storeAndReply(companion, *target, std::move(writer), res);
}

}  // namespace ostrel::companion::routes
