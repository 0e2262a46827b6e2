#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ostrel::host {

// Where a file the user made in the folder stands on its way into the vault.
enum class LocalState { writing, pending, uploading, excluded };

// The text `user.ostrel.status` and the state files use.
const char* stateName(LocalState state);

// A file the user made in the folder that is not a vault item yet, as kept
// on disk: its bytes and where it was put.
struct LocalFileRecord {
  std::string key{};     // names its files in the store; never reused
  std::string parent{};  // the container identifier it was made in
  std::string name{};
  LocalState state = LocalState::writing;
  std::string error{};  // the last sentence, when there is one
  mode_t mode = 0644;
};

// A folder the user made that the vault does not know yet: it exists for the
// companion app only once a file inside it is ingested.
struct LocalFolderRecord {
  std::string key{};
  std::string identifier{};  // the extension's identifier of the new folder
  std::string parent{};
  std::string name{};
};

// The pending area of one domain, under XDG_STATE_HOME: one JSON record per
// item and one data file per file. A record is replaced only by an atomic
// rename, so a host killed at any moment leaves either the old record or the
// new one, and a data file is removed only with its record.
class PendingStore {
 public:
  // Creates the folder (0700) when it is missing; throws when it cannot.
  explicit PendingStore(std::filesystem::path folder);

  std::filesystem::path dataPath(const std::string& key) const;
  const std::filesystem::path& folder() const { return folder_; }

  // Every record there is, with the state last written; a record that
  // cannot be read is logged and left where it is, never removed.
  std::vector<LocalFileRecord> files() const;
  std::vector<LocalFolderRecord> folders() const;

  // Throw std::system_error when the record cannot be written.
  void save(const LocalFileRecord& record) const;
  void save(const LocalFolderRecord& record) const;
  // Removes the record and, for a file, its data; a missing one is no error.
  void remove(const std::string& key) const;

 private:
  void write(const std::string& key, const std::string& text) const;

  std::filesystem::path folder_;
};

// The pending area of the domain whose state folder is `stateFolder`.
inline std::filesystem::path pendingFolder(const std::filesystem::path& stateFolder) {
  return stateFolder / "pending";
}

}  // namespace ostrel::host
