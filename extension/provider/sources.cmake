# The principal and its operations, and the attempt ledger. The error
# mapping is listed with the items, which share it.
target_sources(OstrelFileProvider PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/attempt_ledger.cpp
  ${CMAKE_CURRENT_LIST_DIR}/current_record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/temporary_download.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ostrel_file_provider.cpp
  ${CMAKE_CURRENT_LIST_DIR}/item_lookup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fetch_contents.cpp
  ${CMAKE_CURRENT_LIST_DIR}/create_item.cpp
  ${CMAKE_CURRENT_LIST_DIR}/modify_item.cpp
  ${CMAKE_CURRENT_LIST_DIR}/delete_item.cpp
)
