# bench_metrics: exposition time and size of 20 monitored modules of 18
# channels, and the process CPU of monitoring and scraping them.
find_package(prometheus-cpp CONFIG REQUIRED)
find_package(civetweb CONFIG REQUIRED)
add_executable(bench_metrics ${CMAKE_CURRENT_LIST_DIR}/metrics.cpp
                             ${PROJECT_SOURCE_DIR}/server/MetricsExposer.cpp)
target_link_libraries(bench_metrics PRIVATE vexcountd_core prometheus-cpp::pull civetweb::civetweb
                                            civetweb::civetweb-cpp benchmark::benchmark)
