#include <fcntl.h>
#include <unistd.h>

#include "host/ops/operations.hpp"
#include "host/serve/vault_tree.hpp"

namespace ostrel::host {

void opRelease(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  ::close(static_cast<int>(fi->fh));
  // The last writer's close is what hands a new file to the extension.
  if ((fi->flags & O_ACCMODE) != O_RDONLY) contextOf(req).tree->writerClosed(ino);
  fuse_reply_err(req, 0);
}

}  // namespace ostrel::host
