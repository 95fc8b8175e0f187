# bench_stream_counter: samples/s of the streaming counter on one core.
add_executable(bench_stream_counter ${CMAKE_CURRENT_LIST_DIR}/stream_counter.cpp)
target_link_libraries(bench_stream_counter PRIVATE vexacq_counter benchmark::benchmark)

# bench_synthetic_source: CPU share of one core behind a 24 M samples/s
# real-time source polled every 100 ms (a plain program, not a benchmark).
add_executable(bench_synthetic_source ${CMAKE_CURRENT_LIST_DIR}/synthetic_source.cpp)
target_link_libraries(bench_synthetic_source PRIVATE vexacq_counter Threads::Threads)

# count_file: rising edges per channel of a raw sample file, for
# compare_sigrok_cli.py.
add_executable(count_file ${CMAKE_CURRENT_LIST_DIR}/count_file.cpp)
target_link_libraries(count_file PRIVATE vexacq_counter)
