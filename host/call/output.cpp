#include "host/call/output.hpp"

namespace ostrel::host::call {

namespace fp = platform::fileprovider;

namespace {

template <typename T>
Object orNull(const std::optional<T>& value) {
  return value ? Object(*value) : Object(nullptr);
}

}  // namespace

Object itemJson(const fp::Item& item) {
  Object json = Object::object();
  json["itemIdentifier"] = item.itemIdentifier();
  json["parentItemIdentifier"] = item.parentItemIdentifier();
  json["filename"] = item.filename();
  json["contentType"] = orNull(item.contentType());
  auto capabilities = item.capabilities();
  json["capabilities"] = capabilities ? Object(capabilities->raw()) : Object(nullptr);
  auto version = item.itemVersion();
  json["contentVersion"] = version ? Object(version->contentVersion) : Object(nullptr);
  json["metadataVersion"] = version ? Object(version->metadataVersion) : Object(nullptr);
  if (auto size = item.documentSize()) json["documentSize"] = *size;
  if (auto date = item.contentModificationDate()) json["contentModificationDate"] = date->secondsSince1970;
  if (auto downloaded = item.isDownloaded()) json["isDownloaded"] = *downloaded;
  if (auto latest = item.isMostRecentVersionDownloaded()) json["isMostRecentVersionDownloaded"] = *latest;
  return json;
}

Object errorJson(const fp::Error& error) {
  Object json = Object::object();
  json["domain"] = error.domain;
  json["code"] = error.code;
  if (error.localizedDescription) json["description"] = *error.localizedDescription;
  return json;
}

std::string serialize(const Object& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace ostrel::host::call
