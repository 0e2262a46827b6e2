#include "extension/items/listing_fingerprint.hpp"

#include <algorithm>
#include <charconv>
#include <deque>
#include <string_view>

#include "extension/items/double_text.hpp"
#include "extension/model/finder_folders.hpp"
#include "platform/text.hpp"

namespace ostrel {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

void ListingText::add(Residency residency, const std::vector<VaultFile>& files) {
  // Sort keys are the composed ids, built once per record rather than per
  // comparison; their byte order is canonical order.
  std::deque<std::string> composedIds;
  std::vector<std::pair<std::string_view, const VaultFile*>> order;
  order.reserve(files.size());
  for (const VaultFile& file : files) {
    std::string_view key = file.id;
    if (!isAscii(key)) key = composedIds.emplace_back(platform::composed(key));
    order.emplace_back(key, &file);
  }
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

  char number[24];
  for (const auto& [key, file] : order) {
    if (!text_.empty()) text_ += '\n';
    text_ += file->id;
    text_ += '|';
    text_ += file->filename;
    text_ += '|';
    text_.append(number, std::to_chars(number, number + sizeof number, file->size).ptr);
    text_ += '|';
    text_ += doubleText(file->modifiedAt);
    text_ += '|';
    text_ += file->residency;
    text_ += file->materialized ? "|true|" : "|false|";
    if (file->folder) text_ += *file->folder;
  }
  if (!text_.empty()) text_ += '\n';
  text_ += "--";
  text_ += residency.slug();
}

platform::fileprovider::SyncAnchor ListingText::digest() const {
  auto digest = FinderFolders::anchorDigest(text_);
  return platform::fileprovider::SyncAnchor(digest.begin(), digest.end());
}

}  // namespace ostrel
