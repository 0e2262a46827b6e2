#pragma once

// The domains `ostrel-fphost serve` keeps across restarts, and the XDG
// folders it keeps them in.

#include <filesystem>
#include <vector>

#include "platform/fileprovider/domain_manager.hpp"

namespace ostrel::host {

// ${XDG_STATE_HOME:-$HOME/.local/state}/ostrel
std::filesystem::path serveStateFolder();
// ${XDG_CACHE_HOME:-$HOME/.cache}/ostrel
std::filesystem::path serveCacheFolder();

// The registered domains in registration order. Nothing when the file does
// not exist. Throws std::runtime_error naming the file when it cannot be read
// or does not hold the expected shape, so a damaged file is never mistaken
// for an empty one.
std::vector<platform::fileprovider::Domain> loadDomains(const std::filesystem::path& file);

// Replaces the file atomically (a synced temporary file renamed over it), so
// a crash leaves either the old list or the new one. Creates the folder.
// Throws std::system_error.
void saveDomains(const std::filesystem::path& file,
                 const std::vector<platform::fileprovider::Domain>& domains);

}  // namespace ostrel::host
