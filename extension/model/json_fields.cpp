#include "extension/model/json_fields.hpp"

#include <cmath>
#include <memory>

namespace ostrel::json {
namespace {

[[noreturn]] void wrongType(std::string_view key, std::string_view expected) {
  throw DecodeError("key \"" + std::string(key) + "\" is not " + std::string(expected));
}

// A reused parser keeps its buffers, sized to the largest document it saw;
// very large replies get a parser of their own so that memory is returned.
constexpr std::size_t reusableCapacity = 64u << 20;

simdjson::dom::parser& threadParser() {
  thread_local simdjson::dom::parser parser;
  return parser;
}

}  // namespace

simdjson::dom::object parseObject(std::string_view json) {
  simdjson::dom::parser* parser = &threadParser();
  thread_local std::unique_ptr<simdjson::dom::parser> large;
  large.reset();
  if (json.size() > reusableCapacity) {
    large = std::make_unique<simdjson::dom::parser>();
    parser = large.get();
  }
  // Replies are copied into a reused padded buffer: simdjson's own copy would
  // map and fault in fresh pages for every large reply.
  thread_local std::string padded;
  if (json.size() > reusableCapacity) {
    std::string().swap(padded);
    padded.reserve(json.size() + simdjson::SIMDJSON_PADDING);
  } else if (padded.capacity() < json.size() + simdjson::SIMDJSON_PADDING) {
    padded.reserve(json.size() + simdjson::SIMDJSON_PADDING);
  }
  padded.assign(json);
  simdjson::dom::element root;
  if (auto error = parser->parse(padded.data(), padded.size(), false).get(root)) {
    throw DecodeError(std::string("not valid JSON: ") + simdjson::error_message(error));
  }
  simdjson::dom::object object;
  if (root.get_object().get(object)) throw DecodeError("the top level is not a JSON object");
  return object;
}

void missing(std::string_view key) {
  throw DecodeError("key \"" + std::string(key) + "\" is missing or null");
}

std::string text(simdjson::dom::element value, std::string_view key) {
  std::string_view out;
  if (value.get_string().get(out)) wrongType(key, "a string");
  return std::string(out);
}

bool boolean(simdjson::dom::element value, std::string_view key) {
  bool out = false;
  if (value.get_bool().get(out)) wrongType(key, "true or false");
  return out;
}

std::int64_t int64(simdjson::dom::element value, std::string_view key) {
  switch (value.type()) {
    case simdjson::dom::element_type::INT64:
      return value.get_int64().value_unsafe();
    case simdjson::dom::element_type::DOUBLE: {
      // 10.0 and 1e3 are whole numbers too; 1.5 and 2^63 are not.
      double d = value.get_double().value_unsafe();
      if (std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0) {
        return static_cast<std::int64_t>(d);
      }
      break;
    }
    default:
      break;
  }
  wrongType(key, "a whole number within the signed 64-bit range");
}

double number(simdjson::dom::element value, std::string_view key) {
  double out = 0;
  if (value.get_double().get(out)) wrongType(key, "a number");  // also takes integers
  return out;
}

std::optional<std::string> optionalText(simdjson::dom::element value, std::string_view key) {
  if (value.is_null()) return std::nullopt;
  return text(value, key);
}

std::optional<bool> optionalBoolean(simdjson::dom::element value, std::string_view key) {
  if (value.is_null()) return std::nullopt;
  return boolean(value, key);
}

std::optional<std::int64_t> optionalInt64(simdjson::dom::element value, std::string_view key) {
  if (value.is_null()) return std::nullopt;
  return int64(value, key);
}

}  // namespace ostrel::json
