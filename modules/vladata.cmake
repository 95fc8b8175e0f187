# vladata: the analyser data model and the trigger expression compiler.
target_sources(vexcounter_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/vladata.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vladata.h
    ${CMAKE_CURRENT_LIST_DIR}/TriggerExpression.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TriggerExpression.h)

# libFuzzer target for CompileExpression (clang only). It compares every
# input with the reference parser of the tests. Build and run it for a minute:
#   CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DVFC_FUZZ=ON \
#       -DVFC_TESTS=OFF -DVFC_BENCH=OFF
#   cmake --build build/fuzz --target trigger_expression_fuzz
#   mkdir -p build/fuzz/corpus
#   build/fuzz/bin/trigger_expression_fuzz build/fuzz/corpus \
#       tests/modules/fuzz/corpus -max_total_time=60 -max_len=128
# The compiler's source is built into the target itself so that it carries
# the fuzzer's coverage instrumentation.
if(VFC_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "VFC_FUZZ needs clang (libFuzzer)")
    endif()
    set(vladata_fuzz_dir ${PROJECT_SOURCE_DIR}/tests/modules/fuzz)
    add_executable(trigger_expression_fuzz
        ${vladata_fuzz_dir}/TriggerExpressionFuzz.cpp
        ${CMAKE_CURRENT_LIST_DIR}/TriggerExpression.cpp)
    target_include_directories(trigger_expression_fuzz PRIVATE
        ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests/modules)
    target_compile_options(trigger_expression_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(trigger_expression_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
