// Everything that would change the folder. Until the write path is served,
// each refuses with EROFS; they share one file because none has work of
// its own yet.

#include <cerrno>

#include "host/ops/operations.hpp"

namespace ostrel::host {

void opSetattr(fuse_req_t req, fuse_ino_t, struct stat*, int, fuse_file_info*) { fuse_reply_err(req, EROFS); }
void opMknod(fuse_req_t req, fuse_ino_t, const char*, mode_t, dev_t) { fuse_reply_err(req, EROFS); }
void opMkdir(fuse_req_t req, fuse_ino_t, const char*, mode_t) { fuse_reply_err(req, EROFS); }
void opUnlink(fuse_req_t req, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }
void opRmdir(fuse_req_t req, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }
void opSymlink(fuse_req_t req, const char*, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }
void opRename(fuse_req_t req, fuse_ino_t, const char*, fuse_ino_t, const char*, unsigned int) {
  fuse_reply_err(req, EROFS);
}
void opLink(fuse_req_t req, fuse_ino_t, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }
void opCreate(fuse_req_t req, fuse_ino_t, const char*, mode_t, fuse_file_info*) { fuse_reply_err(req, EROFS); }
void opSetxattr(fuse_req_t req, fuse_ino_t, const char*, const char*, size_t, int) { fuse_reply_err(req, EROFS); }
void opRemovexattr(fuse_req_t req, fuse_ino_t, const char*) { fuse_reply_err(req, EROFS); }

}  // namespace ostrel::host
