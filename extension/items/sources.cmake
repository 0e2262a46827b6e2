# Items, folder listing and the enumerator; the error mapping they share with
# the extension's operations.
target_sources(OstrelFileProvider PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/double_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/root_item.cpp
  ${CMAKE_CURRENT_LIST_DIR}/residency_folder_item.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_item.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vault_file_item.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/working_set.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing_fingerprint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ostrel_enumerator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../provider/error_mapping.cpp
)
