#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
  OpsContext& context = contextOf(req);
  auto found = guarded([&] { return context.tree->attributes(ino); });
  if (!found) {
    fuse_reply_err(req, found.error);
    return;
  }
  fuse_reply_attr(req, &*found.value, context.attrTimeout);
}

}  // namespace ostrel::host
