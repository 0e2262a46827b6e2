#pragma once

#include "host/serve/vault_tree.hpp"

namespace ostrel::host {

// An open directory: the listing as it was at opendir, so offsets stay
// valid however the container changes meanwhile.
struct DirHandle {
  ListingPtr listing{};
  Ino self = 0;
};

// Entries 0 and 1 are "." and ".."; entry n + 2 is the listing's child n.
inline constexpr off_t firstChildOffset = 2;

}  // namespace ostrel::host

#include <string>

#include <fuse_lowlevel.h>

namespace ostrel::host {

struct OpsContext;

// The bytes of one readdir (or readdirplus) reply from `offset` on, at most
// `size` of them.
Result<std::string> directoryPage(fuse_req_t req, const OpsContext& context, const DirHandle& handle, size_t size,
                                  off_t offset, bool plus);

}  // namespace ostrel::host
