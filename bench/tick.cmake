# bench_tick: CPU per tick of a running count on the built-in server, of the
# measurement cycle alone and through the integrated main window.
add_executable(bench_tick ${CMAKE_CURRENT_LIST_DIR}/tick.cpp)
target_link_libraries(bench_tick PRIVATE vexcounter_ui vexcounter_core vexif benchmark::benchmark)
