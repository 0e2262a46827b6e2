#include <unistd.h>

#include "host/ops/operations.hpp"

namespace ostrel::host {

void opRelease(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  ::close(static_cast<int>(fi->fh));
  fuse_reply_err(req, 0);
}

}  // namespace ostrel::host
