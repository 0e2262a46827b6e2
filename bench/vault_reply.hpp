#pragma once

#include <cstddef>
#include <string>

namespace ostrel::bench {

// An enumerate reply of `records` files (about 150 bytes each) spread over
// `folders` folders of one residency.
std::string enumerateReply(std::size_t records, std::size_t folders, const char* residency = "device-and-cloud");

}  // namespace ostrel::bench
