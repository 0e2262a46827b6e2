#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "companion/account_state.hpp"

namespace ostrel::companion {

struct ServeOptions {
  std::filesystem::path vault{};  // empty: defaultVaultFolder()
  std::optional<std::string> seed{};
  Settings settings{};
  bool testControls{false};
  int keepAliveSeconds{5};  // how long an idle connection stays open
};

// `add`: stores one file in a vault folder, also while a server uses it.
struct AddOptions {
  std::filesystem::path vault{};
  std::string residency{};
  std::string folder{};
  std::string name{};  // empty: the file's own name
  std::filesystem::path file{};
};

struct HelpRequest {};

using Command = std::variant<ServeOptions, AddOptions, HelpRequest>;

// The command, or the sentence that explains the usage error.
std::variant<Command, std::string> parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

// ${XDG_DATA_HOME:-$HOME/.local/share}/ostrel-companion/vault
std::filesystem::path defaultVaultFolder();

inline constexpr int exitUsage = 64;

}  // namespace ostrel::companion
