#pragma once

// Strict readers for the fields of the JSON records the companion app sends.
// Each throws DecodeError naming the key when the value has the wrong type.

#include <simdjson.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "extension/model/vault_records.hpp"

namespace ostrel::json {

// A whole reply parsed, with a JSON object at the top. The values live in
// the parser, which the document holds until it is destroyed: one parser
// is shared by the process and reused (a big reply's buffers are kept for
// the next), and a document parsed while it is taken gets one of its own,
// so a process with many threads keeps one set of buffers, not one each.
class Document {
 public:
  struct Buffers;
  // Throws DecodeError when the text is not JSON or not an object.
  explicit Document(std::string_view json);
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  simdjson::dom::object object() const { return object_; }

 private:
  void release();

  std::unique_lock<std::mutex> lease_;
  std::unique_ptr<Buffers> own_;
  simdjson::dom::object object_;
};

std::string text(simdjson::dom::element value, std::string_view key);
bool boolean(simdjson::dom::element value, std::string_view key);
std::int64_t int64(simdjson::dom::element value, std::string_view key);
double number(simdjson::dom::element value, std::string_view key);

// Optional fields: absent or null yields nothing.
inline bool isNull(simdjson::dom::element value) { return value.is_null(); }
std::optional<std::string> optionalText(simdjson::dom::element value, std::string_view key);
std::optional<bool> optionalBoolean(simdjson::dom::element value, std::string_view key);
std::optional<std::int64_t> optionalInt64(simdjson::dom::element value, std::string_view key);

[[noreturn]] void missing(std::string_view key);

}  // namespace ostrel::json
