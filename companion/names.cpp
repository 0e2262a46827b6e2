#include "companion/names.hpp"

#include <cstddef>
#include <cstdint>

namespace ostrel::companion {
namespace {

constexpr std::size_t maxNameBytes = 255;
constexpr std::size_t maxPathBytes = 4096;

bool hasControlCharacter(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

std::optional<std::string> nameProblem(std::string_view name, std::string_view what) {
  std::string subject(what);
  if (name.empty()) return subject + " is empty.";
  if (name == "." || name == "..") return subject + " may not be \".\" or \"..\".";
  if (name.find('/') != std::string_view::npos) return subject + " may not contain \"/\".";
  if (name.size() > maxNameBytes) return subject + " is longer than 255 bytes.";
  if (!isValidUtf8(name)) return subject + " is not valid UTF-8.";
  if (hasControlCharacter(name)) return subject + " contains a control character.";
  return std::nullopt;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t scalar = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      scalar = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      scalar = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      scalar = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      scalar = (scalar << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (scalar < smallest[length] || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::optional<std::string> filenameProblem(std::string_view name) { return nameProblem(name, "The file name"); }

std::optional<std::string> folderProblem(std::string_view path) {
  if (path.empty()) return std::nullopt;
  if (path.size() > maxPathBytes) return "The folder path is longer than 4096 bytes.";
  std::size_t start = 0;
  while (true) {
    std::size_t slash = path.find('/', start);
    std::string_view piece = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (auto problem = nameProblem(piece, "A folder name in the path")) return problem;
    if (slash == std::string_view::npos) return std::nullopt;
    start = slash + 1;
  }
}

}  // namespace ostrel::companion
