# Items, folder listing and the enumerator; the error mapping they share with
# the extension's operations.
target_sources(OstrelFileProvider PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../provider/error_mapping.cpp
)
