#include "extension/model/vault_records.hpp"

#include "extension/model/json_fields.hpp"

namespace ostrel {
namespace {

VaultFile vaultFileFrom(simdjson::dom::object object) {
  VaultFile file;
  // Bits of the required keys seen with a non-null value.
  enum : unsigned { kId = 1, kFilename = 2, kSize = 4, kModifiedAt = 8, kResidency = 16,
                    kMaterialized = 32, kAll = 63 };
  unsigned seen = 0;
  auto required = [&](simdjson::dom::element value, unsigned bit, std::string_view key, auto read) {
    if (value.is_null()) json::missing(key);
    read();
    seen |= bit;
  };
  for (auto field : object) {
    std::string_view key = field.key;
    auto value = field.value;
    if (key == "id") required(value, kId, key, [&] { file.id = json::text(value, key); });
    else if (key == "filename") required(value, kFilename, key, [&] { file.filename = json::text(value, key); });
    else if (key == "size") required(value, kSize, key, [&] { file.size = json::int64(value, key); });
    else if (key == "modifiedAt") required(value, kModifiedAt, key, [&] { file.modifiedAt = json::number(value, key); });
    else if (key == "residency") required(value, kResidency, key, [&] { file.residency = json::text(value, key); });
    else if (key == "materialized") required(value, kMaterialized, key, [&] { file.materialized = json::boolean(value, key); });
    else if (key == "folder") file.folder = json::optionalText(value, key);
  }
  if (seen != kAll) {
    for (auto [bit, key] : {std::pair{kId, "id"}, {kFilename, "filename"}, {kSize, "size"},
                            {kModifiedAt, "modifiedAt"}, {kResidency, "residency"},
                            {kMaterialized, "materialized"}}) {
      if ((seen & bit) == 0) json::missing(key);
    }
  }
  return file;
}

}  // namespace

VaultFile decodeVaultFile(std::string_view json) {
  json::Document document(json);
  return vaultFileFrom(document.object());
}

EnumerateResponse decodeEnumerateResponse(std::string_view json) {
  json::Document document(json);
  auto object = document.object();
  EnumerateResponse response;
  bool sawOk = false;
  bool sawFiles = false;
  for (auto field : object) {
    std::string_view key = field.key;
    if (key == "ok") {
      if (field.value.is_null()) json::missing(key);
      response.ok = json::boolean(field.value, key);
      sawOk = true;
    } else if (key == "files") {
      simdjson::dom::array files;
      if (field.value.is_null()) json::missing(key);
      if (field.value.get_array().get(files)) throw DecodeError("key \"files\" is not a list");
      response.files.clear();
      response.files.reserve(files.size());
      for (auto element : files) {
        simdjson::dom::object record;
        if (element.get_object().get(record)) throw DecodeError("a file record is not a JSON object");
        response.files.push_back(vaultFileFrom(record));
      }
      sawFiles = true;
    }
  }
  if (!sawOk) json::missing("ok");
  if (!sawFiles) json::missing("files");
  return response;
}

IngestResponse decodeIngestResponse(std::string_view json) {
  json::Document document(json);
  auto object = document.object();
  IngestResponse response;
  bool sawOk = false;
  for (auto field : object) {
    std::string_view key = field.key;
    if (key == "ok") {
      if (field.value.is_null()) json::missing(key);
      response.ok = json::boolean(field.value, key);
      sawOk = true;
    } else if (key == "id") {
      response.id = json::optionalText(field.value, key);
    } else if (key == "error") {
      response.error = json::optionalText(field.value, key);
    } else if (key == "skipped") {
      response.skipped = json::optionalText(field.value, key);
    }
  }
  if (!sawOk) json::missing("ok");
  return response;
}

}  // namespace ostrel
