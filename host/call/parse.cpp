#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

#include "host/call/call.hpp"

namespace ostrel::host::call {

const char* const callSynopsis =
    "  ostrel-fphost call item ID\n"
    "  ostrel-fphost call list CONTAINER\n"
    "  ostrel-fphost call anchor CONTAINER\n"
    "  ostrel-fphost call changes CONTAINER ANCHOR_HEX\n"
    "  ostrel-fphost call fetch ID\n"
    "  ostrel-fphost call create PARENT NAME [--folder | --content-type TYPE] [--contents PATH]\n"
    "  ostrel-fphost call modify ID PARENT NAME --changed FIELD[,FIELD...]\n"
    "  ostrel-fphost call delete ID\n"
    "  ostrel-fphost call -   (one call per line on standard input)\n";

namespace {

constexpr std::string_view folderType = "inode/directory";

constexpr std::array<std::pair<std::string_view, std::uint64_t>, 11> itemFields{{
    {"contents", 1u << 0},
    {"filename", 1u << 1},
    {"parentItemIdentifier", 1u << 2},
    {"lastUsedDate", 1u << 3},
    {"tagData", 1u << 4},
    {"favoriteRank", 1u << 5},
    {"creationDate", 1u << 6},
    {"contentModificationDate", 1u << 7},
    {"fileSystemFlags", 1u << 8},
    {"extendedAttributes", 1u << 9},
    {"typeAndCreator", 1u << 10},
}};

// Positional words and "--name value" / "--name=value" / "--flag" options of
// one call, with "--" ending the options.
struct Words {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::optional<std::string>>> options;
};

bool takesValue(std::string_view option) {
  return option == "--content-type" || option == "--contents" || option == "--changed";
}

Words split(std::span<const std::string> words) {
  Words out;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
      out.positional.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    auto equals = word.find('=');
    std::string name = word.substr(0, equals);
    std::optional<std::string> value;
    if (equals != std::string::npos) {
      value = word.substr(equals + 1);
    } else if (takesValue(name)) {
      if (i + 1 == words.size()) throw UsageError(name + " needs a value");
      value = words[++i];
    }
    out.options.emplace_back(std::move(name), std::move(value));
  }
  return out;
}

void expectPositional(const Words& words, std::size_t count, std::string_view shape) {
  if (words.positional.size() != count) {
    throw UsageError("expected: " + std::string(shape));
  }
}

void rejectOptions(const Words& words, std::string_view operation) {
  if (!words.options.empty()) {
    throw UsageError(std::string(operation) + " takes no option " + words.options.front().first);
  }
}

// The value of each allowed option, refusing unknown, repeated and misused ones.
struct Options {
  std::optional<std::string> contentType;
  std::optional<std::string> contents;
  std::optional<std::string> changed;
  bool folder = false;
};

Options readOptions(const Words& words, std::initializer_list<std::string_view> allowed) {
  Options options;
  auto seen = std::vector<std::string>{};
  for (const auto& [name, value] : words.options) {
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
      throw UsageError("unknown option " + name);
    }
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
      throw UsageError(name + " given twice");
    }
    seen.push_back(name);
    if (name == "--folder") {
      if (value) throw UsageError("--folder takes no value");
      options.folder = true;
    } else if (name == "--content-type") {
      options.contentType = value;
    } else if (name == "--contents") {
      options.contents = value;
    } else if (name == "--changed") {
      options.changed = value;
    }
  }
  return options;
}

std::uint64_t parseFields(const std::string& list) {
  std::uint64_t bits = 0;
  std::size_t start = 0;
  while (true) {
    auto comma = list.find(',', start);
    std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    auto bit = itemFieldBit(name);
    if (!bit) throw UsageError("unknown item field \"" + name + "\"");
    bits |= *bit;
    if (comma == std::string::npos) return bits;
    start = comma + 1;
  }
}

}  // namespace

std::optional<std::uint64_t> itemFieldBit(const std::string& name) {
  for (const auto& [fieldName, bit] : itemFields) {
    if (fieldName == name) return bit;
  }
  return std::nullopt;
}

std::string toHex(const std::string& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 0xF];
  }
  return hex;
}

std::string fromHex(const std::string& hex) {
  auto nibble = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw UsageError("the anchor \"" + hex + "\" is not hexadecimal");
  };
  if (hex.size() % 2 != 0) throw UsageError("the anchor \"" + hex + "\" has an odd number of digits");
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bytes += static_cast<char>(nibble(hex[i]) << 4 | nibble(hex[i + 1]));
  }
  return bytes;
}

Call parseCall(std::span<const std::string> words) {
  if (words.empty()) throw UsageError("no operation given");
  const std::string& operation = words.front();
  Words rest = split(words.subspan(1));
  const auto& p = rest.positional;

  if (operation == "item" || operation == "fetch" || operation == "delete") {
    expectPositional(rest, 1, operation + " ID");
    rejectOptions(rest, operation);
    if (operation == "item") return ItemCall{.identifier = p[0]};
    if (operation == "fetch") return FetchCall{.identifier = p[0]};
    return DeleteCall{.identifier = p[0]};
  }
  if (operation == "list" || operation == "anchor") {
    expectPositional(rest, 1, operation + " CONTAINER");
    rejectOptions(rest, operation);
    if (operation == "list") return ListCall{.container = p[0]};
    return AnchorCall{.container = p[0]};
  }
  if (operation == "changes") {
    expectPositional(rest, 2, "changes CONTAINER ANCHOR_HEX");
    rejectOptions(rest, operation);
    return ChangesCall{.container = p[0], .anchor = fromHex(p[1])};
  }
  if (operation == "create") {
    expectPositional(rest, 2, "create PARENT NAME [--folder | --content-type TYPE] [--contents PATH]");
    Options options = readOptions(rest, {"--folder", "--content-type", "--contents"});
    if (options.folder && options.contentType) {
      throw UsageError("--folder and --content-type exclude each other");
    }
    CreateCall call{.parent = p[0], .filename = p[1]};
    if (options.folder) call.contentType = std::string(folderType);
    if (options.contentType) call.contentType = options.contentType;
    if (options.contents) call.contents = std::filesystem::path(*options.contents);
    return call;
  }
  if (operation == "modify") {
    expectPositional(rest, 3, "modify ID PARENT NAME --changed FIELD[,FIELD...]");
    Options options = readOptions(rest, {"--changed"});
    if (!options.changed) throw UsageError("modify needs --changed FIELD[,FIELD...]");
    return ModifyCall{.identifier = p[0], .parent = p[1], .filename = p[2],
                      .changedFields = parseFields(*options.changed)};
  }
  throw UsageError("unknown operation \"" + operation + "\"");
}

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quote == '\'') {
      if (c == '\'') quote = 0; else word += c;
      continue;
    }
    if (c == '\\') {
      if (i + 1 == line.size()) throw UsageError("a line ends in a backslash");
      word += line[++i];
      inWord = true;
      continue;
    }
    if (quote == '"') {
      if (c == '"') quote = 0; else word += c;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote != 0) throw UsageError("a quote is not closed");
  if (inWord) words.push_back(std::move(word));
  return words;
}

}  // namespace ostrel::host::call
