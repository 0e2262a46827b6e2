# Extension-side cost of listings and fingerprints against the bare decode.
add_executable(items_bench ${CMAKE_CURRENT_LIST_DIR}/items_bench.cpp)
target_link_libraries(items_bench PRIVATE OstrelFileProvider nlohmann_json::nlohmann_json benchmark::benchmark
                      ostrel_warnings)
