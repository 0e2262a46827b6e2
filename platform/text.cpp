#include "platform/text.hpp"

#include <simdjson.h>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>

namespace ostrel::platform {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  return simdjson::validate_utf8(bytes.data(), bytes.size());
}

std::string composed(std::string_view utf8) {
  if (isAscii(utf8) || !isValidUtf8(utf8)) return std::string(utf8);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return std::string(utf8);
  auto source = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  if (nfc->isNormalized(source, status) && U_SUCCESS(status)) return std::string(utf8);
  status = U_ZERO_ERROR;
  icu::UnicodeString normal = nfc->normalize(source, status);
  if (U_FAILURE(status)) return std::string(utf8);
  std::string out;
  normal.toUTF8String(out);
  return out;
}

bool canonicalLess(std::string_view a, std::string_view b) {
  if (isAscii(a) && isAscii(b)) return a < b;
  return composed(a) < composed(b);  // UTF-8 byte order is scalar-value order
}

bool canonicalEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isAscii(a) && isAscii(b)) return false;
  return composed(a) == composed(b);
}

std::string_view graphemePrefix(std::string_view utf8, std::size_t count) {
  if (isAscii(utf8)) {
    // Only CR LF forms a cluster of two ASCII characters.
    std::size_t end = 0;
    for (std::size_t clusters = 0; end < utf8.size() && clusters < count; ++clusters) {
      end += (utf8[end] == '\r' && end + 1 < utf8.size() && utf8[end + 1] == '\n') ? 2 : 1;
    }
    return utf8.substr(0, end);
  }
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> breaks(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  UText* text = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
  if (U_FAILURE(status) || !breaks) {
    utext_close(text);
    return utf8.substr(0, std::min(count, utf8.size()));
  }
  breaks->setText(text, status);
  int32_t end = breaks->first();
  for (std::size_t clusters = 0; clusters < count; ++clusters) {
    int32_t next = breaks->next();
    if (next == icu::BreakIterator::DONE) break;
    end = next;
  }
  utext_close(text);
  // With UTF-8 UText, indices are byte offsets into the source.
  return utf8.substr(0, static_cast<std::size_t>(end));
}

}  // namespace ostrel::platform
