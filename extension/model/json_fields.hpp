#pragma once

// Strict readers for the fields of the JSON records the companion app sends.
// Each throws DecodeError naming the key when the value has the wrong type.

#include <simdjson.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "extension/model/vault_records.hpp"

namespace ostrel::json {

// Parses a whole reply and requires a JSON object at the top.
// The parser is reused by the calling thread.
simdjson::dom::object parseObject(std::string_view json);

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
