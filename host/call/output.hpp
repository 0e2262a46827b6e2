#pragma once

// The JSON the call subcommand prints: one object per call.

#include <string>

#include <nlohmann/json.hpp>

#include "platform/fileprovider/error.hpp"
#include "platform/fileprovider/item.hpp"

namespace ostrel::host::call {

// Keys in the order they are set, so a developer reads the same shape each time.
using Object = nlohmann::ordered_json;

// The item keys the host reads; file-only keys appear only for items that
// answer them. An absent common property is null.
Object itemJson(const platform::fileprovider::Item& item);
Object errorJson(const platform::fileprovider::Error& error);

// One line without whitespace; text that is not UTF-8 is replaced, never fatal.
std::string serialize(const Object& object);

}  // namespace ostrel::host::call
