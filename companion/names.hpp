#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::companion {

// The sentence that explains why a file name is refused, or nothing when it
// is acceptable. Names become file names in a folder view, so besides the
// folder-name grammar they must be UTF-8, free of control characters and at
// most 255 bytes.
std::optional<std::string> filenameProblem(std::string_view name);

// The same for a folder path: names joined by single "/", none of them "."
// or "..". The empty path is the residency folder itself.
std::optional<std::string> folderProblem(std::string_view path);

// Begins with ".".
inline bool isHiddenName(std::string_view name) { return !name.empty() && name.front() == '.'; }

bool isValidUtf8(std::string_view text);

}  // namespace ostrel::companion
