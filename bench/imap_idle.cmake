# IDLE latency and idle cost against a private Dovecot (bench/imap_bench.sh).
add_executable(imap_idle_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/imap_idle_bench.cpp)
target_link_libraries(imap_idle_bench PRIVATE bc_watch bc_mail)
bc_target_defaults(imap_idle_bench)
add_dependencies(benchmarks imap_idle_bench)
