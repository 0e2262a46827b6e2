#include "host/ops/dir_handle.hpp"
#include "host/ops/guarded.hpp"
#include "host/ops/operations.hpp"

namespace ostrel::host {

Result<std::string> directoryPage(fuse_req_t req, const OpsContext& context, const DirHandle& handle, size_t size,
                                  off_t offset, bool plus) {
  std::string page(size, '\0');
  std::size_t used = 0;
  const auto& children = handle.listing->children;
  const off_t end = firstChildOffset + static_cast<off_t>(children.size());
  for (off_t index = std::max<off_t>(offset, 0); index < end; ++index) {
    std::string name;
    fuse_entry_param entry{};
    if (index < firstChildOffset) {
      // The kernel makes no entry for these; only the type is needed.
      name = index == 0 ? "." : "..";
      entry.attr.st_ino = handle.self;
      entry.attr.st_mode = S_IFDIR;
    } else {
      const Child& child = children[static_cast<std::size_t>(index - firstChildOffset)];
      name = child.name;
      auto attributes = context.tree->attributes(child.ino);
      entry.attr = attributes ? *attributes.value : context.tree->statOf(child.ino, child.item);
      if (plus) {
        entry.ino = child.ino;
        entry.attr_timeout = context.attrTimeout;
        entry.entry_timeout = context.entryTimeout;
      }
    }
    char* at = page.data() + used;
    std::size_t room = size - used;
    std::size_t need = plus ? fuse_add_direntry_plus(req, at, room, name.c_str(), &entry, index + 1)
                            : fuse_add_direntry(req, at, room, name.c_str(), &entry.attr, index + 1);
    if (need > room) break;
    used += need;
  }
  page.resize(used);
  return {.value = std::move(page)};
}

void opReaddir(fuse_req_t req, fuse_ino_t, size_t size, off_t off, fuse_file_info* fi) {
  const OpsContext& context = contextOf(req);
  const auto& handle = *reinterpret_cast<const DirHandle*>(fi->fh);
  auto page = guarded([&] { return directoryPage(req, context, handle, size, off, false); });
  if (!page) {
    fuse_reply_err(req, page.error);
    return;
  }
  fuse_reply_buf(req, page.value->data(), page.value->size());
}

}  // namespace ostrel::host
