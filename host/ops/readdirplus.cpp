#include "host/ops/dir_handle.hpp"
#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

// Entries come with their attributes, so listing a folder costs no lookups.
void opReaddirplus(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
  const OpsContext& context = contextOf(req);
  const auto& handle = *reinterpret_cast<const DirHandle*>(fi->fh);
  auto page = guarded([&] { return directoryPage(req, context, handle, size, off, true); });
  if (!page) {
    fuse_reply_err(req, page.error);
    return;
  }
  fuse_reply_buf(req, page.value->data(), page.value->size());
}

}  // namespace ostrel::host
