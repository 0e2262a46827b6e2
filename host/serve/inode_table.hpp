#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>

#include "platform/fileprovider/item.hpp"

namespace ostrel::host {

using Ino = std::uint64_t;

// Item identifiers and the inode numbers the kernel knows them by. An
// identifier keeps its number for the life of the mount, and numbers are
// never reused, so a number the kernel still holds can never name another
// item. Each entry also holds the newest item seen for the identifier.
class InodeTable {
 public:
  static constexpr Ino rootIno = 1;

  InodeTable();

  // The number of the item's identifier (made on first sight); the item
  // becomes the entry's newest.
  Ino assign(const platform::fileprovider::ItemPtr& item);
  // Replaces the newest item of an identifier that already has a number.
  void update(const platform::fileprovider::ItemPtr& item);
  // Gives `ino` to the item's identifier, which had no number yet, so a
  // file the kernel knows keeps its number when it becomes a vault item.
  // False, and nothing changes, when the identifier already has one.
  bool rebind(Ino ino, const platform::fileprovider::ItemPtr& item);

  std::optional<Ino> find(const std::string& identifier) const;
  std::optional<std::string> identifier(Ino ino) const;
  // Nothing for an unknown number, or one not yet given an item.
  platform::fileprovider::ItemPtr item(Ino ino) const;

 private:
  struct Entry {
    std::string identifier;
    platform::fileprovider::ItemPtr item;
  };

  mutable std::shared_mutex mutex_;
  std::deque<Entry> entries_;                   // index ino - 1; guarded by mutex_
  std::unordered_map<std::string, Ino> byId_;   // guarded by mutex_
};

}  // namespace ostrel::host
