#include "platform/crypto.hpp"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace ostrel::platform {

Sha256Digest sha256(std::string_view bytes) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  Sha256Digest digest{};
  unsigned int length = 0;
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1 || length != digest.size()) {
    throw std::runtime_error("SHA-256 digest failed");
  }
  return digest;
}

std::string base64Encode(std::string_view bytes) {
  // EVP_EncodeBlock takes an int length; encode in whole 3-byte groups.
  constexpr std::size_t chunk = 3 * (1u << 20);
  std::string out;
  out.resize(4 * ((bytes.size() + 2) / 3));
  std::size_t written = 0;
  for (std::size_t offset = 0; offset < bytes.size(); offset += chunk) {
    auto piece = bytes.substr(offset, chunk);
    written += static_cast<std::size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data() + written),
                        reinterpret_cast<const unsigned char*>(piece.data()),
                        static_cast<int>(piece.size())));
  }
  out.resize(written);
  return out;
}

std::string hexEncode(std::span<const std::uint8_t> bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (auto b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0xF]);
  }
  return out;
}

}  // namespace ostrel::platform
