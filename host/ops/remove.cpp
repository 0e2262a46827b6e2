#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

namespace {

void removeEntry(fuse_req_t req, fuse_ino_t parent, const char* name, bool folder) {
  OpsContext& context = contextOf(req);
  auto outcome = guarded([&] { return ErrnoOnly{context.tree->remove(parent, name, folder)}; });
  fuse_reply_err(req, outcome.error);
}

}  // namespace

void opUnlink(fuse_req_t req, fuse_ino_t parent, const char* name) { removeEntry(req, parent, name, false); }
void opRmdir(fuse_req_t req, fuse_ino_t parent, const char* name) { removeEntry(req, parent, name, true); }

}  // namespace ostrel::host
