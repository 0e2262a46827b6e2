#include "host/ops/entry.hpp"
#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opMkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t) {
  OpsContext& context = contextOf(req);
  auto made = guarded([&] { return context.tree->makeFolder(parent, name); });
  if (!made) {
    fuse_reply_err(req, made.error);
    return;
  }
  fuse_entry_param entry = entryOf(context, *made.value);
  fuse_reply_entry(req, &entry);
}

}  // namespace ostrel::host
