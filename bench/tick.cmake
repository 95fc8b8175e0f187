# bench_tick: CPU per tick of the measurement cycle on the built-in server.
add_executable(bench_tick ${CMAKE_CURRENT_LIST_DIR}/tick.cpp)
target_link_libraries(bench_tick PRIVATE vexcounter_core vexif benchmark::benchmark)
