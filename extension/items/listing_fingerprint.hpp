#pragma once

#include <string>
#include <vector>

#include "extension/model/residency.hpp"
#include "extension/model/vault_records.hpp"
#include "platform/fileprovider/enumerator.hpp"

namespace ostrel {

// The text a residency listing's anchor is the digest of: per residency, one
// line per record sorted by id (id|filename|size|modifiedAt|slug|
// materialized|folder), then "--" and the residency's slug; lines joined by
// "\n". Nothing is escaped.
class ListingText {
 public:
  void add(Residency residency, const std::vector<VaultFile>& files);
  const std::string& text() const { return text_; }
  // SHA-256 of the text, the 32 raw bytes.
  platform::fileprovider::SyncAnchor digest() const;

 private:
  std::string text_;
};

}  // namespace ostrel
