#include "platform/fileprovider/content_type.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <set>

namespace ostrel::platform::fileprovider {
namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return out;
}

std::vector<std::string_view> splitColons(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    auto colon = line.find(':');
    fields.push_back(line.substr(0, colon));
    if (colon == std::string_view::npos) return fields;
    line.remove_prefix(colon + 1);
  }
}

// Lines of a database file without comments and blank lines.
template <typename Each>
void eachLine(const std::filesystem::path& path, Each each) {
  std::ifstream in(path);
  std::string line;
  std::size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line.front() == '#') continue;
    each(std::string_view(line), number);
  }
}

bool conformsToData(std::string_view type) { return !type.starts_with("inode/"); }

}  // namespace

const MimeDatabase& MimeDatabase::shared() {
  static const MimeDatabase database = load("/usr/share/mime");
  return database;
}

MimeDatabase MimeDatabase::load(const std::filesystem::path& folder) {
  MimeDatabase db;
  // weight:type:glob[:flags[:...]]
  eachLine(folder / "globs2", [&](std::string_view line, std::size_t number) {
    auto fields = splitColons(line);
    if (fields.size() < 3) return;
    int weight = 0;
    auto [end, ec] = std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), weight);
    if (ec != std::errc() || end != fields[0].data() + fields[0].size()) return;
    std::string_view glob = fields[2];
    // Only plain "*.ext" globs name an extension; ".tar.gz"-style globs can
    // never equal a path extension, which holds no ".".
    if (!glob.starts_with("*.")) return;
    std::string_view extension = glob.substr(2);
    if (extension.empty() || extension.find_first_of("*?[]\\.") != std::string_view::npos) return;
    bool caseSensitive = false;
    if (fields.size() > 3) {
      std::string_view flags = fields[3];
      while (!flags.empty()) {
        auto comma = flags.find(',');
        if (flags.substr(0, comma) == "cs") caseSensitive = true;
        if (comma == std::string_view::npos) break;
        flags.remove_prefix(comma + 1);
      }
    }
    Glob entry{weight, number, std::string(fields[1])};
    if (caseSensitive) {
      db.caseSensitive_[std::string(extension)].push_back(std::move(entry));
    } else {
      db.caseInsensitive_[lower(extension)].push_back(std::move(entry));
    }
  });
  eachLine(folder / "subclasses", [&](std::string_view line, std::size_t) {
    auto space = line.find(' ');
    if (space == std::string_view::npos) return;
    db.parents_[std::string(line.substr(0, space))].emplace_back(line.substr(space + 1));
  });
  eachLine(folder / "aliases", [&](std::string_view line, std::size_t) {
    auto space = line.find(' ');
    if (space == std::string_view::npos) return;
    db.aliases_[std::string(line.substr(0, space))] = std::string(line.substr(space + 1));
  });
  return db;
}

const MimeDatabase::Glob* MimeDatabase::bestGlob(
    const std::map<std::string, std::vector<Glob>, std::less<>>& globs, std::string_view key,
    const Glob* best) const {
  auto found = globs.find(key);
  if (found == globs.end()) return best;
  for (const Glob& glob : found->second) {
    if (!conformsToData(glob.type)) continue;
    if (best == nullptr || glob.weight > best->weight ||
        (glob.weight == best->weight && glob.line < best->line)) {
      best = &glob;
    }
  }
  return best;
}

std::optional<ContentType> MimeDatabase::typeForExtension(std::string_view extension) const {
  if (extension.empty()) return std::nullopt;
  const Glob* best = bestGlob(caseSensitive_, extension, nullptr);
  best = bestGlob(caseInsensitive_, lower(extension), best);
  if (best == nullptr) return std::nullopt;
  return best->type;
}

std::string MimeDatabase::canonical(std::string_view type) const {
  auto alias = aliases_.find(type);
  return alias == aliases_.end() ? std::string(type) : alias->second;
}

bool MimeDatabase::conforms(std::string_view type, std::string_view supertype) const {
  std::string target = canonical(supertype);
  std::string start = canonical(type);
  if (target == contentType::data && conformsToData(start)) return true;
  // Breadth-first over the parents; the database may hold cycles.
  std::vector<std::string> queue{start};
  std::set<std::string, std::less<>> seen{start};
  for (std::size_t i = 0; i < queue.size(); ++i) {
    if (queue[i] == target) return true;
    auto parents = parents_.find(queue[i]);
    if (parents == parents_.end()) continue;
    for (const std::string& parent : parents->second) {
      std::string name = canonical(parent);
      if (seen.insert(name).second) queue.push_back(std::move(name));
    }
  }
  return false;
}

std::optional<ContentType> typeForExtension(std::string_view extension) {
  return MimeDatabase::shared().typeForExtension(extension);
}

bool conforms(std::string_view type, std::string_view supertype) {
  return MimeDatabase::shared().conforms(type, supertype);
}

}  // namespace ostrel::platform::fileprovider
