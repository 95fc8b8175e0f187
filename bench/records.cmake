# bench_records: process CPU of the running program during continuous 100 ms
# event counts, without and with the Statistics window and the log.
add_executable(bench_records ${CMAKE_CURRENT_LIST_DIR}/records.cpp)
target_link_libraries(bench_records PRIVATE vexcounter_ui vexcounter_core vexif
                                            benchmark::benchmark)
