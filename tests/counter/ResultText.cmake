vfc_add_test(counter_resulttext_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ResultTextTest.cpp
    LIBS vexcounter_core GTest::gtest_main)
vfc_add_test(counter_resultcell_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ResultCellTest.cpp
    LIBS vexcounter_core GTest::gtest_main)
