# The desktop program's start to its first visible window against a Qt Widgets
# hello-world built with the same flags (bench/desktop_start.py runs both).
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
add_executable(qt_hello_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/qt_hello.cpp)
target_link_libraries(qt_hello_bench PRIVATE Qt6::Widgets)
bc_target_defaults(qt_hello_bench)
add_dependencies(benchmarks qt_hello_bench)
