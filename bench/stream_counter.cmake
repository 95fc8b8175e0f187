# bench_stream_counter: samples/s of the streaming counter on one core.
add_executable(bench_stream_counter ${CMAKE_CURRENT_LIST_DIR}/stream_counter.cpp)
target_link_libraries(bench_stream_counter PRIVATE vexacq_counter benchmark::benchmark)
