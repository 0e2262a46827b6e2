// Changes the vault has no place for: special files, links and extended
// attributes of the user's own.

#include <cerrno>

#include "host/ops/operations.hpp"

namespace ostrel::host {

void opMknod(fuse_req_t req, fuse_ino_t, const char*, mode_t, dev_t) { fuse_reply_err(req, EPERM); }
void opSymlink(fuse_req_t req, const char*, fuse_ino_t, const char*) { fuse_reply_err(req, EPERM); }
void opLink(fuse_req_t req, fuse_ino_t, fuse_ino_t, const char*) { fuse_reply_err(req, EPERM); }
void opSetxattr(fuse_req_t req, fuse_ino_t, const char*, const char*, size_t, int) {
  fuse_reply_err(req, EOPNOTSUPP);
}
void opRemovexattr(fuse_req_t req, fuse_ino_t, const char*) { fuse_reply_err(req, EOPNOTSUPP); }

}  // namespace ostrel::host
