# bench_stream_counter: samples/s of the streaming counter on one core.
add_executable(bench_stream_counter ${CMAKE_CURRENT_LIST_DIR}/stream_counter.cpp)
target_link_libraries(bench_stream_counter PRIVATE vexacq_counter benchmark::benchmark)

# bench_synthetic_source: CPU share of one core behind a 24 M samples/s
# real-time source polled every 100 ms (a plain program, not a benchmark).
add_executable(bench_synthetic_source ${CMAKE_CURRENT_LIST_DIR}/synthetic_source.cpp)
target_link_libraries(bench_synthetic_source PRIVATE vexacq_counter Threads::Threads)
