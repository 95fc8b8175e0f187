# bench_transport: built-in vs loopback round trips and 64 polling clients
# against a vexcountd that the benchmark starts itself.
add_executable(bench_transport ${CMAKE_CURRENT_LIST_DIR}/transport.cpp)
target_link_libraries(bench_transport PRIVATE vexif benchmark::benchmark Threads::Threads)
target_include_directories(bench_transport PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e)
add_dependencies(bench_transport vexcountd)
