#include "host/ops/operations.hpp"

#include <cerrno>

namespace ostrel::host {

// Into the pending area's file, spliced from the kernel's buffer when it can.
void opWriteBuf(fuse_req_t req, fuse_ino_t, fuse_bufvec* data, off_t off, fuse_file_info* fi) {
  fuse_bufvec target = FUSE_BUFVEC_INIT(fuse_buf_size(data));
  target.buf[0].flags = static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
  target.buf[0].fd = static_cast<int>(fi->fh);
  target.buf[0].pos = off;
  ssize_t written = fuse_buf_copy(&target, data, FUSE_BUF_SPLICE_NONBLOCK);
  if (written < 0) {
    fuse_reply_err(req, static_cast<int>(-written));
    return;
  }
  fuse_reply_write(req, static_cast<size_t>(written));
}

}  // namespace ostrel::host
