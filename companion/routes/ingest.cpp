#include <utility>

#include "companion/base64_decoder.hpp"
#include "companion/routes/ingest_target.hpp"
#include "companion/routes/replies.hpp"
#include "companion/routes/routes.hpp"

namespace ostrel::companion::routes {
namespace {

bool isText(const nlohmann::json& body, const char* key) { return body.contains(key) && body[key].is_string(); }

}  // namespace

void ingest(Companion& companion, const httplib::Request& req, httplib::Response& res) {
  Settings settings = companion.settings.get();
  if (refusedByState(settings, res)) return;
  auto body = nlohmann::json::parse(req.body, nullptr, false);
  bool folderOk = body.is_object() && (!body.contains("folder") || body["folder"].is_null() || body["folder"].is_string());
  if (!body.is_object() || !isText(body, "filename") || !isText(body, "residency") ||
      !isText(body, "contentBase64") || !folderOk) {
    replyError(res, 400,
               "An ingest needs a JSON object with the text members \"filename\", \"residency\" and "
               "\"contentBase64\", and optionally \"folder\".");
    return;
  }
  std::string filename = body["filename"].get<std::string>();
  std::string folder = isText(body, "folder") ? body["folder"].get<std::string>() : std::string();
  auto target = ingestTarget(filename, body["residency"].get<std::string>(), folder, res);
  if (!target) return;

  const auto& text = body["contentBase64"].get_ref<const std::string&>();
  auto size = base64DecodedSize(text);
  if (!size) {
    replyError(res, 400, "\"contentBase64\" is not standard Base64.");
    return;
  }
  if (refusedBySize(filename, *size, settings.maxFileBytes, res)) return;
  BlobWriter writer = companion.vault.blobs().begin();
  if (!base64Decode(text, [&](std::string_view piece) {
        writer.write(piece);
        return true;
      })) {
    replyError(res, 400, "\"contentBase64\" is not standard Base64.");
    return;
  }
  storeAndReply(companion, *target, std::move(writer), res);
}

}  // namespace ostrel::companion::routes
