#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {


void opRename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newparent, const char* newname,
              unsigned int flags) {
  OpsContext& context = contextOf(req);
  auto outcome = guarded([&] { return ErrnoOnly{context.tree->rename(parent, name, newparent, newname, flags)}; });
  fuse_reply_err(req, outcome.error);
}

}  // namespace ostrel::host
