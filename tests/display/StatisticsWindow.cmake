# The Statistics window's plain choices (axis range, placement, wording); the
# window itself is tested with the main window (tests/app).
vfc_add_test(display_statisticslayout_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/StatisticsLayoutTest.cpp
    LIBS vexcounter_core GTest::gtest_main)
