#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

#include <unistd.h>

namespace ostrel::host {

void opOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  OpsContext& context = contextOf(req);
  auto opened = guarded([&] { return context.tree->open(ino, fi->flags); });
  if (!opened) {
    fuse_reply_err(req, opened.error);
    return;
  }
  fi->fh = static_cast<std::uint64_t>(*opened.value);
  // A changed file is invalidated by the watcher, page cache included.
  fi->keep_cache = 1;
  if (fuse_reply_open(req, fi) != 0) ::close(*opened.value);
}

}  // namespace ostrel::host
