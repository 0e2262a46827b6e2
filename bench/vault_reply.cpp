#include "bench/vault_reply.hpp"

#include <cstdio>

namespace ostrel::bench {

std::string enumerateReply(std::size_t records, std::size_t folders, const char* residency) {
  std::string out = R"({"ok":true,"files":[)";
  out.reserve(records * 170 + 32);
  char record[512];
  for (std::size_t i = 0; i < records; ++i) {
    std::size_t folder = folders == 0 ? 0 : i % folders;
    int n = std::snprintf(record, sizeof record,
                          R"(%s{"id":"F%07zu-4C1B-9E2A-%012zu","filename":"Document %zu.pdf","size":%zu,)"
                          R"("modifiedAt":%zu.25,"residency":"%s","materialized":%s,"folder":"Projects/p%zu/f%zu"})",
                          i == 0 ? "" : ",", i, i * 7919, i, 1000 + i * 37, 1700000000 + i, residency,
                          i % 3 == 0 ? "true" : "false", folder / 20, folder);
    out.append(record, static_cast<std::size_t>(n));
  }
  out += "]}";
  return out;
}

}  // namespace ostrel::bench
