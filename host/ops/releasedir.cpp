#include "host/ops/dir_handle.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opReleasedir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  delete reinterpret_cast<DirHandle*>(fi->fh);
  fuse_reply_err(req, 0);
}

}  // namespace ostrel::host
