#pragma once

#include <sys/stat.h>

#include "host/ops/operations.hpp"

namespace ostrel::host {

// The entry the kernel keeps for a name, with the mount's timeouts.
inline fuse_entry_param entryOf(const OpsContext& context, const struct stat& attributes) {
  fuse_entry_param entry{};
  entry.ino = attributes.st_ino;
  entry.attr = attributes;
  entry.attr_timeout = context.attrTimeout;
  entry.entry_timeout = context.entryTimeout;
  return entry;
}

}  // namespace ostrel::host
