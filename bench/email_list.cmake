# The email list: how long the UI thread is held while a pass of 10,000
# envelopes arrives (goal: no step over 50 ms), and sorting 10,000 rows by each
# column (goal: under 200 ms).
add_executable(email_list_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/email_list_bench.cpp)
target_link_libraries(email_list_bench PRIVATE bc_ui_pages benchmark::benchmark bc_audio_device)
bc_target_defaults(email_list_bench)
add_dependencies(benchmarks email_list_bench)
