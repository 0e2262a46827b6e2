#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opGetxattr(fuse_req_t req, fuse_ino_t ino, const char* name, size_t size) {
  OpsContext& context = contextOf(req);
  auto value = guarded([&] { return context.tree->xattr(ino, name); });
  if (!value) {
    fuse_reply_err(req, value.error);
  } else if (size == 0) {
    fuse_reply_xattr(req, value.value->size());
  } else if (value.value->size() > size) {
    fuse_reply_err(req, ERANGE);
  } else {
    fuse_reply_buf(req, value.value->data(), value.value->size());
  }
}

}  // namespace ostrel::host
