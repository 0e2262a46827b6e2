#include "host/serve/inode_table.hpp"

#include <mutex>

namespace ostrel::host {

namespace fp = platform::fileprovider;

InodeTable::InodeTable() {
  std::string root(fp::rootContainer);
  entries_.push_back(Entry{.identifier = root, .item = nullptr});
  byId_.emplace(std::move(root), rootIno);
}

Ino InodeTable::assign(const fp::ItemPtr& item) {
  std::string id = item->itemIdentifier();
  std::unique_lock lock(mutex_);
  if (auto it = byId_.find(id); it != byId_.end()) {
    entries_[it->second - 1].item = item;
    return it->second;
  }
  entries_.push_back(Entry{.identifier = id, .item = item});
  Ino ino = entries_.size();
  byId_.emplace(std::move(id), ino);
  return ino;
}

bool InodeTable::rebind(Ino ino, const fp::ItemPtr& item) {
  std::string id = item->itemIdentifier();
  std::unique_lock lock(mutex_);
  if (ino == 0 || ino > entries_.size() || byId_.count(id)) return false;
  Entry& entry = entries_[ino - 1];
  byId_.erase(entry.identifier);
  entry.identifier = id;
  entry.item = item;
  byId_.emplace(std::move(id), ino);
  return true;
}

void InodeTable::update(const fp::ItemPtr& item) {
  std::string id = item->itemIdentifier();
  std::unique_lock lock(mutex_);
  if (auto it = byId_.find(id); it != byId_.end()) entries_[it->second - 1].item = item;
}

std::optional<Ino> InodeTable::find(const std::string& identifier) const {
  std::shared_lock lock(mutex_);
  auto it = byId_.find(identifier);
  if (it == byId_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> InodeTable::identifier(Ino ino) const {
  std::shared_lock lock(mutex_);
  if (ino == 0 || ino > entries_.size()) return std::nullopt;
  return entries_[ino - 1].identifier;
}

fp::ItemPtr InodeTable::item(Ino ino) const {
  std::shared_lock lock(mutex_);
  if (ino == 0 || ino > entries_.size()) return nullptr;
  return entries_[ino - 1].item;
}

}  // namespace ostrel::host
