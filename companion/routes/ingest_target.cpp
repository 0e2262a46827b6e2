#include "companion/routes/ingest_target.hpp"

#include <utility>

#include "companion/names.hpp"
#include "companion/routes/replies.hpp"
#include "companion/log.hpp"

namespace ostrel::companion {

std::optional<NewFile> ingestTarget(const std::string& filename, const std::string& residency,
                                    const std::string& folder, httplib::Response& res) {
  auto where = residencyFromSlug(residency);
  if (!where) {
    replyError(res, 400, "The residency must be device-only, device-and-cloud or cloud-only.");
    return std::nullopt;
  }
  if (auto problem = filenameProblem(filename)) {
    replyError(res, 400, *problem);
    return std::nullopt;
  }
  if (auto problem = folderProblem(folder)) {
    replyError(res, 400, *problem);
    return std::nullopt;
  }
  if (isHiddenName(filename)) {
    replyJson(res, 200, {{"ok", true}, {"skipped", "hidden"}});
    return std::nullopt;
  }
  return NewFile{.filename = filename, .residency = *where, .folder = folder};
}

bool refusedBySize(const std::string& filename, std::int64_t size, std::int64_t limit, httplib::Response& res) {
  if (limit <= 0 || size <= limit) return false;
  replyError(res, 413, tooLargeSentence(filename, size, limit), {{"refusal", "too-large"}});
  return true;
}

void storeAndReply(Companion& companion, const NewFile& file, BlobWriter writer, httplib::Response& res) {
  auto stored = companion.vault.add(file, std::move(writer));
  if (!stored) {
    replyError(res, 409, "\u201C" + file.filename + "\u201D already exists in that folder.",
               {{"refusal", "exists"}});
    return;
  }
  companionLog().info("stored {} as {} in {}", stored->filename, stored->id, slug(stored->residency));
  replyJson(res, 200, {{"ok", true}, {"id", stored->id}});
}

}  // namespace ostrel::companion
