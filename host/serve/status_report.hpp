#pragma once

#include <filesystem>
#include <string>

namespace ostrel::host {

// `ostrel-fphost status`: the registered domains with the files of their
// pending areas (pending, uploading, excluded) and the sentences they
// carry, as one JSON object. Read from the host's state folder, so it
// answers whether or not a host is serving.
std::string statusReport(const std::filesystem::path& stateFolder);

}  // namespace ostrel::host
