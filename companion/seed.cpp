#include "companion/seed.hpp"

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "companion/log.hpp"
#include "companion/vault_error.hpp"

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

std::optional<int> wholeNumber(std::string_view text, int low, int high) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// The same sample gives the same ids on every run, so figures and logs of
// two runs can be compared file by file.
std::string benchId(int number) {
  char id[40];
  std::snprintf(id, sizeof id, "BE0C0000-0000-4000-8000-%012X", static_cast<unsigned>(number));
  return id;
}

std::vector<FileRecord> benchFiles(const BenchSample& sample) {
  std::vector<FileRecord> records;
  records.reserve(static_cast<std::size_t>(sample.files));
  double now = nowSeconds();
  for (int i = 0; i < sample.files; ++i) {
    int folder = i % sample.folders;
    Residency residency =
        sample.residency.value_or(folder % 2 == 0 ? Residency::deviceOnly : Residency::deviceAndCloud);
    char folderName[24];
    char fileName[24];
    std::snprintf(folderName, sizeof folderName, "folder-%05d", folder);
    std::snprintf(fileName, sizeof fileName, "file-%07d.txt", i);
    records.push_back({.id = benchId(i),
                       .filename = fileName,
                       .folder = folderName,
                       .residency = residency,
                       .size = 0,
                       .modifiedAt = now,
                       .materialized = materializedIn(residency)});
  }
  return records;
}

void seedBench(Vault& vault, const BenchSample& sample) {
  auto records = benchFiles(sample);
  // Blobs first, as everywhere: a listed file always has its bytes.
  for (const auto& record : records) vault.blobs().createEmpty(record.id);
  if (vault.index().insertAll(records) != Vault::Outcome::done) throw VaultError("the bench sample repeats a name");
}

}  // namespace

std::optional<BenchSample> parseBenchSample(std::string_view text) {
  constexpr std::string_view prefix = "bench:";
  if (text.substr(0, prefix.size()) != prefix) return std::nullopt;
  text.remove_prefix(prefix.size());
  std::vector<std::string_view> parts;
  while (true) {
    auto colon = text.find(':');
    parts.push_back(text.substr(0, colon));
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
  }
  if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
  BenchSample sample;
  auto files = wholeNumber(parts[0], 1, 10'000'000);
  if (!files) return std::nullopt;
  auto folders = wholeNumber(parts[1], 1, *files);
  if (!folders) return std::nullopt;
  sample.files = *files;
  sample.folders = *folders;
  if (parts.size() == 3) {
    sample.residency = residencyFromSlug(parts[2]);
    if (!sample.residency) return std::nullopt;
  }
  return sample;
}

bool isSampleName(std::string_view text) { return text == "demo" || parseBenchSample(text).has_value(); }

bool seedVault(Vault& vault, std::string_view sample) {
  auto bench = parseBenchSample(sample);
  if (sample != "demo" && !bench) return false;
  if (!vault.index().empty()) {
    companionLog().info("the vault already holds files; not seeding it");
    return true;
  }
  if (bench) {
    seedBench(vault, *bench);
    companionLog().info("seeded the vault with {} files in {} folders", bench->files, bench->folders);
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
