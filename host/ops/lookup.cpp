#include "host/ops/entry.hpp"
#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opLookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
  OpsContext& context = contextOf(req);
  auto found = guarded([&] { return context.tree->lookup(parent, name); });
  if (!found) {
    fuse_reply_err(req, found.error);
    return;
  }
  fuse_entry_param entry = entryOf(context, *found.value);
  fuse_reply_entry(req, &entry);
}

}  // namespace ostrel::host
