#pragma once

#include <string>
#include <string_view>

#include "host/template_item.hpp"

namespace ostrel::host {

using LocalItem = TemplateItem;

// Identifiers of pending files: a prefix no extension identifier uses, so
// the inode table keeps both apart.
inline constexpr std::string_view localIdentifierPrefix = "ostrel-fphost.pending:";

inline std::string localIdentifier(const std::string& key) { return std::string(localIdentifierPrefix) + key; }

}  // namespace ostrel::host
