#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opSetattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int toSet, fuse_file_info*) {
  OpsContext& context = contextOf(req);
  auto changed = guarded([&] { return context.tree->setAttributes(ino, *attr, toSet); });
  if (!changed) {
    fuse_reply_err(req, changed.error);
    return;
  }
  fuse_reply_attr(req, &*changed.value, context.attrTimeout);
}

}  // namespace ostrel::host
