# bench_scpi: SCPI and line-protocol round trips next to a raw TCP echo, and
# the time MEAS:FREQ? takes beyond its gate, against its own vexcountd.
add_executable(bench_scpi ${CMAKE_CURRENT_LIST_DIR}/scpi.cpp)
target_link_libraries(bench_scpi PRIVATE vexif benchmark::benchmark Threads::Threads)
target_include_directories(bench_scpi PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e)
add_dependencies(bench_scpi vexcountd)
