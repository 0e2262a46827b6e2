// One residency of 100,000 records over 2,000 folders, fed straight to the
// extension: what a listing or a fingerprint costs on top of decoding the
// companion app's reply.

#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "extension/items/folder_listing.hpp"
#include "extension/items/listing_fingerprint.hpp"
#include "extension/items/working_set.hpp"
#include "extension/model/vault_records.hpp"

namespace {

constexpr int recordCount = 100'000;
constexpr int topFolders = 40;
constexpr int subFoldersEach = 49;  // 40 + 40 * 49 = 2,000 folders

std::vector<std::string> folderPaths() {
  std::vector<std::string> paths;
  for (int top = 0; top < topFolders; ++top) {
    std::string parent = "Projects " + std::to_string(top);
    paths.push_back(parent);
    for (int sub = 0; sub < subFoldersEach; ++sub) paths.push_back(parent + "/Part " + std::to_string(sub));
  }
  return paths;
}

const std::string& reply() {
  static const std::string json = [] {
    std::vector<std::string> folders = folderPaths();
    nlohmann::json files = nlohmann::json::array();
    char id[40];
    for (int i = 0; i < recordCount; ++i) {
      // Ids in no particular order, as a vault hands them out.
      unsigned mixed = static_cast<unsigned>(i) * 2654435761u;
      std::snprintf(id, sizeof id, "%08X-1A2B-4C3D-8E9F-%012d", mixed, i);
      files.push_back({{"id", id},
                       {"filename", "Document " + std::to_string(i) + ".pdf"},
                       {"size", 1000 + i},
                       {"modifiedAt", 1712345678.25 + i},
                       {"residency", "device-only"},
                       {"materialized", i % 3 == 0},
                       {"folder", folders[static_cast<std::size_t>(i) % folders.size()]}});
    }
    return nlohmann::json{{"ok", true}, {"files", files}}.dump();
  }();
  return json;
}

const std::vector<ostrel::VaultFile>& records() {
  static const std::vector<ostrel::VaultFile> files = ostrel::decodeEnumerateResponse(reply()).files;
  return files;
}

void BM_BareDecode(benchmark::State& state) {
  const std::string& json = reply();
  for (auto _ : state) benchmark::DoNotOptimize(ostrel::decodeEnumerateResponse(json));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}

void BM_SubFolderListing(benchmark::State& state) {
  const auto& files = records();
  for (auto _ : state) {
    auto items = ostrel::folderListing(ostrel::Residency::deviceOnly, "Projects 7", files);
    benchmark::DoNotOptimize(items);
  }
}

void BM_WorkingSet(benchmark::State& state) {
  const auto& files = records();
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<ostrel::VaultFile> copy = files;  // the bridge's reply, handed over
    std::vector<ostrel::platform::fileprovider::ItemPtr> items;
    state.ResumeTiming();
    ostrel::appendWorkingSet(items, ostrel::Residency::deviceOnly, std::move(copy));
    benchmark::DoNotOptimize(items);
    state.PauseTiming();
    items.clear();
    state.ResumeTiming();
  }
}

void BM_Fingerprint(benchmark::State& state) {
  const auto& files = records();
  for (auto _ : state) {
    ostrel::ListingText text;
    text.add(ostrel::Residency::deviceOnly, files);
    benchmark::DoNotOptimize(text.digest());
  }
}

BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SubFolderListing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkingSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fingerprint)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
