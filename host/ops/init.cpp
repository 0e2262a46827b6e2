#include "host/ops/operations.hpp"

namespace ostrel::host {

// File bytes move by splice when the kernel can: a read is served from the
// cached copy and a write lands in the pending area without passing through
// the host's memory.
void opInit(void*, fuse_conn_info* conn) {
  conn->want |= conn->capable & (FUSE_CAP_SPLICE_WRITE | FUSE_CAP_SPLICE_MOVE);
}

}  // namespace ostrel::host
