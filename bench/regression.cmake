# regression_resolution: the regression frequency's error against the truth
# beside the reciprocal's, on the tests' synthesiser (a plain program).
add_executable(regression_resolution ${CMAKE_CURRENT_LIST_DIR}/regression_resolution.cpp)
target_include_directories(regression_resolution PRIVATE ${PROJECT_SOURCE_DIR}/tests/acquisition)
target_link_libraries(regression_resolution PRIVATE vexacq_counter)

# regression_capture: consecutive gates of a recorded capture, reciprocal and
# regression, plain and against a reference input (a plain program).
add_executable(regression_capture ${CMAKE_CURRENT_LIST_DIR}/regression_capture.cpp)
target_link_libraries(regression_capture PRIVATE vexacq_sigrok)
