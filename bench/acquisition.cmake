# bench_acquisition_reopen: close then open of an acquired module on
# libsigrok's demo device (the stream stopped and started again).
add_executable(bench_acquisition_reopen ${CMAKE_CURRENT_LIST_DIR}/acquisition_reopen.cpp)
target_link_libraries(bench_acquisition_reopen PRIVATE vexacq_sigrok benchmark::benchmark)
