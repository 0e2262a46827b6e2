#pragma once

// One host call as the command line names it, before anything is performed.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace ostrel::host::call {

struct ItemCall {
  std::string identifier{};
};
struct ListCall {
  std::string container{};
};
struct AnchorCall {
  std::string container{};
};
struct ChangesCall {
  std::string container{};
  std::string anchor{};  // the raw anchor bytes, decoded from hex
};
struct FetchCall {
  std::string identifier{};
};
struct CreateCall {
  std::string parent{};
  std::string filename{};
  std::optional<std::string> contentType{};  // none: the template offers no type
  std::optional<std::filesystem::path> contents{};
};
struct ModifyCall {
  std::string identifier{};
  std::string parent{};
  std::string filename{};
  std::uint64_t changedFields{};  // item-field bits
};
struct DeleteCall {
  std::string identifier{};
};

using Call = std::variant<ItemCall, ListCall, AnchorCall, ChangesCall, FetchCall, CreateCall,
                          ModifyCall, DeleteCall>;

// A command line that names no valid call. The text says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The words after "call", e.g. {"create", "device-only", "a.txt", "--contents", "/tmp/a"}.
Call parseCall(std::span<const std::string> words);

// Splits one line of `call -` input into words: blanks separate words, single
// quotes keep everything literally, double quotes keep blanks, and a backslash
// outside single quotes takes the next character literally.
std::vector<std::string> splitWords(const std::string& line);

// Lower-case hex of bytes, and back; the decoder throws UsageError.
std::string toHex(const std::string& bytes);
std::string fromHex(const std::string& hex);

// "contents", "filename", … as in the host's item fields; nothing when unknown.
std::optional<std::uint64_t> itemFieldBit(const std::string& name);

// The synopsis of every call, one per line.
extern const char* const callSynopsis;

}  // namespace ostrel::host::call
