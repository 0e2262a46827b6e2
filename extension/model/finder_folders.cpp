#include "extension/model/finder_folders.hpp"

#include <algorithm>
#include <unordered_set>

#include "platform/text.hpp"

namespace ostrel {

bool FinderFolders::validName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

bool FinderFolders::isHidden(std::string_view name) {
  return !name.empty() && name.front() == '.';
}

std::string FinderFolders::identifier(std::string_view residency, std::string_view path) {
  std::string out;
  out.reserve(prefix.size() + residency.size() + 1 + path.size());
  out.append(prefix).append(residency).append("/").append(path);
  return out;
}

std::optional<FolderRef> FinderFolders::parse(std::string_view identifier) {
  if (!identifier.starts_with(prefix)) return std::nullopt;
  std::string_view rest = identifier.substr(prefix.size());
  auto slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view residency = rest.substr(0, slash);
  std::string_view path = rest.substr(slash + 1);
  if (residency.empty() || path.empty()) return std::nullopt;
  for (std::size_t start = 0;;) {
    auto end = path.find('/', start);
    if (!validName(path.substr(start, end == std::string_view::npos ? end : end - start))) {
      return std::nullopt;
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return FolderRef{std::string(residency), std::string(path)};
}

std::string FinderFolders::join(std::string_view parentPath, std::string_view name) {
  if (parentPath.empty()) return std::string(name);
  std::string out(parentPath);
  out.append("/").append(name);
  return out;
}

std::string FinderFolders::parentIdentifier(std::string_view residency, std::string_view path) {
  auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string(residency);
  return identifier(residency, path.substr(0, slash));
}

std::string FinderFolders::fileParent(std::string_view residency, std::string_view folder) {
  if (folder.empty()) return std::string(residency);
  return identifier(residency, folder);
}

std::vector<std::string> FinderFolders::childFolders(std::string_view parentPath,
                                                     const std::vector<std::string_view>& paths) {
  std::string leadIn(parentPath);
  if (!leadIn.empty()) leadIn.push_back('/');
  // Residencies hold many files per folder: gather distinct names first and
  // build full paths only for those.
  std::unordered_set<std::string_view> names;
  for (std::string_view entry : paths) {
    if (entry.empty() || !entry.starts_with(leadIn) || entry == parentPath) continue;
    std::string_view rest = entry.substr(leadIn.size());
    auto first = rest.find_first_not_of('/');
    if (first == std::string_view::npos) continue;
    rest = rest.substr(first);
    names.insert(rest.substr(0, rest.find('/')));
  }
  std::vector<std::string> children;
  children.reserve(names.size());
  for (std::string_view name : names) children.push_back(leadIn + std::string(name));
  // Raw bytes break ties between equivalent spellings, so the result does not
  // depend on the set's order.
  std::sort(children.begin(), children.end(), [](const std::string& a, const std::string& b) {
    if (platform::canonicalLess(a, b)) return true;
    if (platform::canonicalLess(b, a)) return false;
    return a < b;
  });
  // Canonically equivalent spellings of one name are one folder.
  children.erase(std::unique(children.begin(), children.end(),
                             [](const std::string& a, const std::string& b) {
                               return platform::canonicalEqual(a, b);
                             }),
                 children.end());
  return children;
}

platform::Sha256Digest FinderFolders::anchorDigest(std::string_view text) {
  return platform::sha256(text);
}

}  // namespace ostrel
