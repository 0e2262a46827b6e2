# One mounted domain: the FUSE operations, the tree they answer from, the
# content cache and the thread that keeps the tree current.
add_library(ostrel_fphost_serve STATIC
  ${CMAKE_CURRENT_LIST_DIR}/domain_mount.cpp
  ${CMAKE_CURRENT_LIST_DIR}/errno_mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inode_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/content_cache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/change_watcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vault_tree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vault_tree_writes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stale_mount.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../fuse_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/operations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/lookup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/getattr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/opendir.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/readdir.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/readdirplus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/releasedir.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/open.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/read.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/release.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/getxattr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/listxattr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/refusals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/create.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/init.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/write.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/mkdir.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/remove.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/rename.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ops/setattr.cpp
)
target_include_directories(ostrel_fphost_serve PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(ostrel_fphost_serve PRIVATE FUSE_USE_VERSION=35)
target_link_libraries(ostrel_fphost_serve
  PUBLIC OstrelFileProvider PkgConfig::FUSE3 Threads::Threads
  PRIVATE ostrel_warnings)
