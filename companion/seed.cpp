#include "companion/seed.hpp"

#include <string>

#include "companion/log.hpp"

namespace ostrel::companion {
namespace {

struct SampleFile {
  Residency residency;
  const char* folder;
  const char* filename;
  std::string contents;
};

std::string repeated(std::string_view line, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

// Folders at one and two levels and files directly in each residency folder,
// so every road of a listing has something to show.
std::vector<SampleFile> demoFiles() {
  return {
      {Residency::deviceOnly, "", "Welcome.txt", "Welcome to your Ostrel vault.\n"},
      {Residency::deviceOnly, "Notes", "Ideas.md", "# Ideas\n\n- a folder that is a vault\n"},
      {Residency::deviceOnly, "Notes/Archive", "2023.md", "# 2023\n\nNothing left to do.\n"},
      {Residency::deviceAndCloud, "", "Budget.csv", "month,amount\nJanuary,1200\nFebruary,1150\n"},
      {Residency::deviceAndCloud, "Photos/2024", "Beach.txt", repeated("sand and sea, ", 400)},
      {Residency::deviceAndCloud, "Photos", "Empty.txt", ""},
      {Residency::cloudOnly, "", "Report.txt", repeated("The quarterly report.\n", 1000)},
      {Residency::cloudOnly, "Archive", "Old letters.txt", "Dear reader,\n\nthese live in the cloud.\n"},
  };
}

}  // namespace

bool seedVault(Vault& vault, std::string_view sample) {
  if (sample != "demo") return false;
  if (!vault.index().empty()) {
    companionLog().info("the vault already holds files; not seeding it");
    return true;
  }
  for (const auto& file : demoFiles()) {
    BlobWriter writer = vault.blobs().begin();
    writer.write(file.contents);
    vault.add({.filename = file.filename, .residency = file.residency, .folder = file.folder}, std::move(writer));
  }
  companionLog().info("seeded the vault with the demo sample");
  return true;
}

}  // namespace ostrel::companion
