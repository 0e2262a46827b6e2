#pragma once

#include <optional>
#include <string>

#include <httplib.h>

#include "companion/blob_store.hpp"
#include "companion/companion.hpp"
#include "companion/vault.hpp"

namespace ostrel::companion {

// Checks where an ingest would store its file. On refusal the reply is
// written and nothing is returned; a hidden name is answered as skipped.
std::optional<NewFile> ingestTarget(const std::string& filename, const std::string& residency,
                                    const std::string& folder, httplib::Response& res);

// Refuses, with 413, a file above a positive limit; true when refused.
bool refusedBySize(const std::string& filename, std::int64_t size, std::int64_t limit, httplib::Response& res);

// Stores the written bytes as the new file and answers with its id, or
// refuses a name that is taken in that folder.
void storeAndReply(Companion& companion, const NewFile& file, BlobWriter writer, httplib::Response& res);

}  // namespace ostrel::companion
