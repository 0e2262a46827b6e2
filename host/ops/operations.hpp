#pragma once

// The FUSE low-level operations of a mounted domain. Each lives in its own
// file: the work is a call on the VaultTree that returns a value or an
// errno, and the operation's adapter is the only code that replies.

#include <cstddef>  // NULL, for the libfuse macros

#include <fuse_lowlevel.h>

namespace ostrel::host {

class VaultTree;

// What every operation reaches through fuse_req_userdata.
struct OpsContext {
  VaultTree* tree = nullptr;
  double entryTimeout = 5.0;  // seconds; changes are pushed to the kernel, so this only bounds a miss
  double attrTimeout = 5.0;
};

inline OpsContext& contextOf(fuse_req_t req) { return *static_cast<OpsContext*>(fuse_req_userdata(req)); }

const fuse_lowlevel_ops& operations();

void opInit(void* userdata, fuse_conn_info* conn);
void opLookup(fuse_req_t req, fuse_ino_t parent, const char* name);
void opGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
void opOpendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
void opReaddir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi);
void opReaddirplus(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi);
void opReleasedir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
void opOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
void opRead(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi);
void opRelease(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
void opGetxattr(fuse_req_t req, fuse_ino_t ino, const char* name, size_t size);
void opListxattr(fuse_req_t req, fuse_ino_t ino, size_t size);

void opCreate(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, fuse_file_info* fi);
void opWriteBuf(fuse_req_t req, fuse_ino_t ino, fuse_bufvec* data, off_t off, fuse_file_info* fi);
void opMkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode);
void opUnlink(fuse_req_t req, fuse_ino_t parent, const char* name);
void opRmdir(fuse_req_t req, fuse_ino_t parent, const char* name);
void opRename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newparent, const char* newname,
              unsigned int flags);
void opSetattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int toSet, fuse_file_info* fi);

// Refused: the vault holds no special files, links or attributes of the user's.
void opMknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, dev_t rdev);
void opSymlink(fuse_req_t req, const char* link, fuse_ino_t parent, const char* name);
void opLink(fuse_req_t req, fuse_ino_t ino, fuse_ino_t newparent, const char* newname);
void opSetxattr(fuse_req_t req, fuse_ino_t ino, const char* name, const char* value, size_t size, int flags);
void opRemovexattr(fuse_req_t req, fuse_ino_t ino, const char* name);

}  // namespace ostrel::host
