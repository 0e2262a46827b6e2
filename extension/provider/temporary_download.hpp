#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "extension/bridge/reply_sink.hpp"
#include "platform/files.hpp"

namespace ostrel {

// The file one content fetch downloads into: a new file in the temporary
// directory named by a fresh UUID, created exclusively with mode 0600 when
// the first bytes arrive (or on finish() for an empty file), so that a
// request failing before its reply creates nothing. Removed on destruction
// unless handed over with keep().
class TemporaryDownload final : public ReplySink {
 public:
  TemporaryDownload() = default;
  TemporaryDownload(const TemporaryDownload&) = delete;
  TemporaryDownload& operator=(const TemporaryDownload&) = delete;
  ~TemporaryDownload() override;

  // Throws std::system_error when the file cannot be created or written.
  void write(std::string_view bytes) override;

  // Creates the file if no byte came, closes it and returns its location.
  // Throws std::system_error.
  const std::filesystem::path& finish();

  // The file now belongs to the caller; it is no longer removed.
  std::filesystem::path keep();

 private:
  void create();

  std::optional<std::filesystem::path> path_;
  platform::UniqueFd fd_;
  std::optional<FileSink> sink_;
  bool kept_ = false;
};

}  // namespace ostrel
