#pragma once

#include <filesystem>
#include <string>

namespace ostrel::host {

// Detaches a mount left at `mountPoint` (a killed host leaves one whose every
// access fails with "Transport endpoint is not connected"), then makes sure
// the folder exists. Returns the reason when it cannot; empty on success.
std::string prepareMountPoint(const std::filesystem::path& mountPoint);

// A lazy unmount: umount2 as root, fusermount3 otherwise. True when done.
bool detachMount(const std::filesystem::path& mountPoint);

}  // namespace ostrel::host
