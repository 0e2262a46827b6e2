// Decoding a listing into records against a bare parse of the same bytes.
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include "bench/vault_reply.hpp"
#include "extension/model/vault_records.hpp"

namespace {

const std::string& reply(std::size_t records) {
  static std::string small = ostrel::bench::enumerateReply(10000, 100);
  static std::string large = ostrel::bench::enumerateReply(100000, 1000);
  return records == 10000 ? small : large;
}

void BM_BareParse(benchmark::State& state) {
  const std::string& json = reply(static_cast<std::size_t>(state.range(0)));
  simdjson::padded_string padded(json);
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    if (parser.parse(padded).get(root)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

void BM_DecodeRecords(benchmark::State& state) {
  const std::string& json = reply(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto response = ostrel::decodeEnumerateResponse(json);
    benchmark::DoNotOptimize(response.files.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}

}  // namespace

BENCHMARK(BM_BareParse)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRecords)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
