#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace ostrel::fpctl {

// Keys stay in the order they were set; readers must not rely on it.
using Object = nlohmann::ordered_json;

// What one run prints and the status it ends with.
struct Output {
  Object object = Object::object();
  int exit = 0;
};

// The object on one line without whitespace. Invalid UTF-8 (an argument or a
// host's text) is replaced rather than losing the whole object; "{}" only if
// serialization still fails.
std::string serialize(const Object& object) noexcept;

// Writes the serialized object, then a line feed, to standard output and ends
// the process. Nothing else ever reaches standard output.
[[noreturn]] void emit(const Object& object, int exit);

}  // namespace ostrel::fpctl
