#include "host/ops/operations.hpp"

namespace ostrel::host {

// Straight from the cached copy's descriptor, spliced when the kernel can.
void opRead(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
  fuse_bufvec buffer = FUSE_BUFVEC_INIT(size);
  buffer.buf[0].flags = static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
  buffer.buf[0].fd = static_cast<int>(fi->fh);
  buffer.buf[0].pos = off;
  fuse_reply_data(req, &buffer, FUSE_BUF_SPLICE_MOVE);
}

}  // namespace ostrel::host
