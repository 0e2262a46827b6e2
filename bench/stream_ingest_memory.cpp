// Streams a 1 GiB file through the streaming ingest to a local server that
// discards the bytes, then prints the throughput and the process's peak
// memory. The target is a peak under 64 MiB: the file must never be held.
#include <httplib.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "extension/bridge/ostrel_bridge.hpp"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const std::int64_t size = argc > 1 ? std::atoll(argv[1]) : (std::int64_t{1} << 30);
  std::string scratch = (fs::temp_directory_path() / "ostrel-bench-XXXXXX").string();
  if (::mkdtemp(scratch.data()) == nullptr) return 1;
  const fs::path root(scratch);

  httplib::Server server;
  std::atomic<std::uint64_t> received{0};
  server.Post("/vault/finder/ingest-stream",
              [&](const httplib::Request&, httplib::Response& res, const httplib::ContentReader& reader) {
                reader([&](const char*, std::size_t length) {
                  received += length;
                  return true;
                });
                res.set_content(R"({"ok":true,"id":"bench-1"})", "application/json");
              });
  int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  ::setenv("XDG_DATA_HOME", root.c_str(), 1);
  fs::create_directories(root / "group-containers" / "K7Q2XW9MLR.com.ostrel.app");
  std::ofstream(root / "group-containers" / "K7Q2XW9MLR.com.ostrel.app" / "finder-drive-handshake.json")
      << R"({"port":)" << port << R"(,"token":"bench","signedIn":true,"streamIngest":true})";
  const fs::path file = root / "big.bin";
  std::ofstream(file).close();
  fs::resize_file(file, static_cast<std::uintmax_t>(size));  // sparse: reads cost no disk

  auto started = std::chrono::steady_clock::now();
  int status = 0;
  try {
    std::string id = ostrel::OstrelBridge().ingest("big.bin", ostrel::Residency::deviceOnly, file);
    if (id != "bench-1" || received.load() != static_cast<std::uint64_t>(size)) status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ingest failed: %s\n", e.what());
    status = 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  server.stop();
  serving.join();
  fs::remove_all(root);

  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  double peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  std::printf("streaming ingest: %.0f MiB in %.2f s (%.0f MiB/s), %llu bytes received\n",
              static_cast<double>(size) / 1048576.0, seconds, static_cast<double>(size) / 1048576.0 / seconds,
              static_cast<unsigned long long>(received.load()));
  std::printf("peak memory: %.1f MiB (target: under 64 MiB) %s\n", peakMiB, peakMiB < 64 ? "MET" : "MISSED");
  return status;
}
