#include "extension/model/json_fields.hpp"

#include <cmath>
#include <memory>

namespace ostrel::json {
namespace {

[[noreturn]] void wrongType(std::string_view key, std::string_view expected) {
  throw DecodeError("key \"" + std::string(key) + "\" is not " + std::string(expected));
}

// Replies above this size are never kept in the shared buffers, so that
// their memory is returned.
constexpr std::size_t reusableCapacity = 64u << 20;

}  // namespace

// Replies are copied into a reused padded buffer: simdjson's own copy would
// map and fault in fresh pages for every large reply.
struct Document::Buffers {
  simdjson::dom::parser parser;
  std::string padded;
};

namespace {

std::mutex sharedLock;
// Set while this thread holds the shared buffers: a document parsed inside
// another must not try the lock its own thread holds.
thread_local bool holdingShared = false;

Document::Buffers& shared() {
  static Document::Buffers buffers;
  return buffers;
}

}  // namespace

Document::Document(std::string_view json) {
  Buffers* buffers = nullptr;
  if (!holdingShared && json.size() <= reusableCapacity) {
    lease_ = std::unique_lock(sharedLock, std::try_to_lock);
  }
  if (lease_.owns_lock()) {
    holdingShared = true;
    buffers = &shared();
  } else {
    own_ = std::make_unique<Buffers>();
    buffers = own_.get();
  }
  if (buffers->padded.capacity() < json.size() + simdjson::SIMDJSON_PADDING) {
    buffers->padded.reserve(json.size() + simdjson::SIMDJSON_PADDING);
  }
  buffers->padded.assign(json);
  simdjson::dom::element root;
  auto error = buffers->parser.parse(buffers->padded.data(), buffers->padded.size(), false).get(root);
  if (!error) error = root.get_object().get(object_);
  if (error) {
    release();
    if (error == simdjson::INCORRECT_TYPE) throw DecodeError("the top level is not a JSON object");
    throw DecodeError(std::string("not valid JSON: ") + simdjson::error_message(error));
  }
}

Document::~Document() { release(); }

void Document::release() {
  if (!lease_.owns_lock()) return;
  holdingShared = false;
  lease_.unlock();
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
