#include "companion/base64_decoder.hpp"

#include <openssl/evp.h>

#include <cstddef>
#include <vector>

namespace ostrel::companion {
namespace {

constexpr std::size_t chunkChars = 64 * 1024;  // a multiple of 4

std::size_t paddingOf(std::string_view text) {
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') ++padding;
  if (text.size() >= 2 && text[text.size() - 2] == '=') ++padding;
  return padding;
}

bool isAlphabet(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

}  // namespace

std::optional<std::int64_t> base64DecodedSize(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = paddingOf(text);
  // "=" may only close the text.
  if (text.substr(0, text.size() - padding).find('=') != std::string_view::npos) return std::nullopt;
  return static_cast<std::int64_t>(text.size() / 4 * 3 - padding);
}

bool base64Decode(std::string_view text, const std::function<bool(std::string_view)>& sink) {
  if (!base64DecodedSize(text)) return false;
  // EVP_DecodeBlock skips surrounding whitespace, which standard Base64 has
  // none of; check the alphabet ourselves so such text is refused.
  std::size_t padding = paddingOf(text);
  for (std::size_t i = 0; i + padding < text.size(); ++i) {
    if (!isAlphabet(text[i])) return false;
  }
  std::vector<unsigned char> out(chunkChars / 4 * 3);
  for (std::size_t offset = 0; offset < text.size(); offset += chunkChars) {
    std::string_view piece = text.substr(offset, chunkChars);
    int written = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(piece.data()),
                                  static_cast<int>(piece.size()));
    if (written < 0) return false;
    // EVP_DecodeBlock counts the zero bytes that padding stands for.
    std::size_t length = static_cast<std::size_t>(written);
    if (offset + piece.size() == text.size()) length -= padding;
    if (!sink(std::string_view(reinterpret_cast<const char*>(out.data()), length))) return false;
  }
  return true;
}

}  // namespace ostrel::companion
