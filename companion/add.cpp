#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

#include <nlohmann/json.hpp>

#include "companion/app.hpp"
#include "companion/names.hpp"
#include "companion/routes/replies.hpp"
#include "companion/vault.hpp"

namespace ostrel::companion {
namespace {

// Paths in sentences need not be UTF-8; JSON output must be.
std::string jsonText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

int fail(const std::string& sentence, int status = 1) {
  std::cout << jsonText({{"ok", false}, {"error", sentence}}) << std::endl;
  return status;
}

}  // namespace

int runAdd(const AddOptions& options) {
  auto residency = residencyFromSlug(options.residency);
  if (!residency) return fail("The residency must be device-only, device-and-cloud or cloud-only.", exitUsage);
  std::string filename = options.name.empty() ? options.file.filename().string() : options.name;
  // Hidden names are stored: this is the vault's own door, not the extension's.
  if (auto problem = filenameProblem(filename)) return fail(*problem, exitUsage);
  if (auto problem = folderProblem(options.folder)) return fail(*problem, exitUsage);

  platform::UniqueFd input(::open(options.file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!input) return fail("cannot read " + options.file.string() + ": " + std::strerror(errno));
  try {
    Vault vault(options.vault.empty() ? defaultVaultFolder() : options.vault);
    BlobWriter writer = vault.blobs().begin();
    std::vector<char> buffer(256 * 1024);
    while (true) {
      ssize_t n = ::read(input.get(), buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return fail("cannot read " + options.file.string() + ": " + std::strerror(errno));
      if (n == 0) break;
      writer.write(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    auto stored = vault.add({.filename = filename, .residency = *residency, .folder = options.folder}, std::move(writer));
    if (!stored) return fail("\u201C" + filename + "\u201D already exists in that folder.");
    std::cout << jsonText({{"ok", true}, {"id", stored->id}, {"file", recordJson(*stored)}}) << std::endl;
    return 0;
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}

}  // namespace ostrel::companion
