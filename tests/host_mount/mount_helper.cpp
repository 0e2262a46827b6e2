// Mounts a domain and serves until killed: a host that dies without
// unmounting, for the stale-mount test.

#include <unistd.h>

#include <cstdio>

#include "host/serve/domain_mount.hpp"

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  ostrel::host::MountSettings settings{.mountPoint = argv[1], .cacheFolder = argv[2]};
  auto mount = ostrel::host::makeDomainMount({.identifier = "ostrel", .displayName = "Ostrel"}, settings);
  if (mount->start()) return 1;
  std::puts("mounted");
  std::fflush(stdout);
  for (;;) ::pause();
}
