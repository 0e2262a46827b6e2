#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace ostrel::platform {

// The folder that programs of one application group share:
// ${XDG_DATA_HOME:-$HOME/.local/share}/group-containers/<appGroup>/.
// Empty when that folder does not exist. Reads the environment on every call
// so that a changed XDG_DATA_HOME takes effect at once.
std::optional<std::filesystem::path> groupContainer(std::string_view appGroup);

// $HOME, else the home folder in the password database.
std::filesystem::path homeFolder();

}  // namespace ostrel::platform
