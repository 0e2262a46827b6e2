#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

void opListxattr(fuse_req_t req, fuse_ino_t ino, size_t size) {
  OpsContext& context = contextOf(req);
  auto names = guarded([&]() -> Result<std::string> {
    auto found = context.tree->xattrNames(ino);
    if (!found) return Result<std::string>::failure(found.error);
    std::string list;
    for (const auto& name : *found.value) list.append(name).push_back('\0');
    return {.value = std::move(list)};
  });
  if (!names) {
    fuse_reply_err(req, names.error);
  } else if (size == 0) {
    fuse_reply_xattr(req, names.value->size());
  } else if (names.value->size() > size) {
    fuse_reply_err(req, ERANGE);
  } else {
    fuse_reply_buf(req, names.value->data(), names.value->size());
  }
}

}  // namespace ostrel::host
