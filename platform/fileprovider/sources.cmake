# The file-provider host contract.
target_sources(ostrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/error.cpp
  ${CMAKE_CURRENT_LIST_DIR}/content_type.cpp
)

# The domain manager lists its own sources there, so that neither file has
# two owners.
include(${CMAKE_CURRENT_LIST_DIR}/domain_manager.cmake OPTIONAL)
