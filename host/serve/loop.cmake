# The serving loop of `ostrel-fphost serve`: the registered domains and their
# state file, the control socket, and the signals that end it.
add_library(ostrel_fphost_loop STATIC
  ${CMAKE_CURRENT_LIST_DIR}/domain_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serve_loop_domains.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serve_loop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/control_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/control_server_requests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pending_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status_report.cpp
)
target_include_directories(ostrel_fphost_loop PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(ostrel_fphost_loop
  PUBLIC ostrel_platform ostrel_domain_manager OstrelFileProvider Threads::Threads
  PRIVATE ostrel_warnings nlohmann_json::nlohmann_json PkgConfig::SIMDJSON)

target_link_libraries(ostrel-fphost PRIVATE ostrel_fphost_loop)
# The mounts arrive in their own target; without it serve reports that this
# build cannot mount.
if(TARGET ostrel_fphost_serve)
  # The mounts keep their pending areas with the loop's store.
  target_link_libraries(ostrel_fphost_serve PUBLIC ostrel_fphost_loop)
  target_link_libraries(ostrel-fphost PRIVATE ostrel_fphost_serve)
  target_compile_definitions(ostrel-fphost PRIVATE OSTREL_FPHOST_MOUNTS=1)
endif()
