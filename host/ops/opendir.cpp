#include "host/ops/dir_handle.hpp"
#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opOpendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  OpsContext& context = contextOf(req);
  auto opened = guarded([&]() -> Result<DirHandle*> {
    auto listing = context.tree->listing(ino);
    if (!listing) return Result<DirHandle*>::failure(listing.error);
    return {.value = new DirHandle{.listing = std::move(*listing.value), .self = ino}};
  });
  if (!opened) {
    fuse_reply_err(req, opened.error);
    return;
  }
  fi->fh = reinterpret_cast<std::uint64_t>(*opened.value);
  if (fuse_reply_open(req, fi) != 0) delete *opened.value;
}

}  // namespace ostrel::host
