target_sources(OstrelFileProvider PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/attempt_ledger.cpp
  ${CMAKE_CURRENT_LIST_DIR}/current_record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/temporary_download.cpp
)
