# Decoder throughput over a realistic mix of retrieved messages.
add_executable(decode_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/decode_bench.cpp)
target_link_libraries(decode_bench PRIVATE bc_mime benchmark::benchmark)
bc_target_defaults(decode_bench)
target_compile_definitions(decode_bench PRIVATE BC_MAIL_DIR="${PROJECT_SOURCE_DIR}/tests/data/mime")
add_dependencies(benchmarks decode_bench)
