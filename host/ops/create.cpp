#include <unistd.h>

#include "host/ops/entry.hpp"
#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opCreate(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, fuse_file_info* fi) {
  OpsContext& context = contextOf(req);
  auto created = guarded([&] { return context.tree->create(parent, name, mode, fi->flags); });
  if (!created) {
    fuse_reply_err(req, created.error);
    return;
  }
  fuse_entry_param entry = entryOf(context, created.value->attributes);
  fi->fh = static_cast<std::uint64_t>(created.value->fd);
  if (fuse_reply_create(req, &entry, fi) != 0) {
    ::close(created.value->fd);
    context.tree->writerClosed(entry.ino);
  }
}

}  // namespace ostrel::host
