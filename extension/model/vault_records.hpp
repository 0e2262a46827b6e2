#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// One file of the vault as the companion app describes it.
struct VaultFile {
  std::string id;
  std::string filename;
  std::int64_t size = 0;
  double modifiedAt = 0;       // seconds since 1970, fractions allowed
  std::string residency;       // a slug, kept as sent
  bool materialized = false;   // the bytes are on this device
  std::optional<std::string> folder;  // path inside the residency folder

  bool operator==(const VaultFile&) const = default;
};

struct EnumerateResponse {
  bool ok = false;
  std::vector<VaultFile> files;
};

struct IngestResponse {
  bool ok = false;
  std::optional<std::string> id;
  std::optional<std::string> error;
  std::optional<std::string> skipped;
};

// A reply that is not exactly the record it should be. The text says what
// was wrong, for logs and for the handshake's "unparseable" sentence.
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Strict decoders: exact keys, unknown keys ignored, a missing or null
// required key or a wrong JSON type anywhere fails the whole reply.
EnumerateResponse decodeEnumerateResponse(std::string_view json);
IngestResponse decodeIngestResponse(std::string_view json);
VaultFile decodeVaultFile(std::string_view json);

}  // namespace ostrel
