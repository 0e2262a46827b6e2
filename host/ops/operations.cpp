#include "host/ops/operations.hpp"

namespace ostrel::host {

const fuse_lowlevel_ops& operations() {
  static const fuse_lowlevel_ops table = [] {
    fuse_lowlevel_ops ops{};
    // clang-format off
    ops.init        = opInit;
    ops.lookup      = opLookup;
    ops.getattr     = opGetattr;
    ops.opendir     = opOpendir;
    ops.readdir     = opReaddir;
    ops.readdirplus = opReaddirplus;
    ops.releasedir  = opReleasedir;
    ops.open        = opOpen;
    ops.read        = opRead;
    ops.release     = opRelease;
    ops.getxattr    = opGetxattr;
    ops.listxattr   = opListxattr;
    ops.setattr     = opSetattr;
    ops.mknod       = opMknod;
    ops.mkdir       = opMkdir;
    ops.unlink      = opUnlink;
    ops.rmdir       = opRmdir;
    ops.symlink     = opSymlink;
    ops.rename      = opRename;
    ops.link        = opLink;
    ops.create      = opCreate;
    ops.write_buf   = opWriteBuf;
    ops.setxattr    = opSetxattr;
    ops.removexattr = opRemovexattr;
    // clang-format on
    return ops;
  }();
  return table;
}

}  // namespace ostrel::host
