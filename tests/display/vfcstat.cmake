# Status bar: the pin row's plain layout, then the bar itself offscreen.
vfc_add_test(vfcstat_pins_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcstat_pins_test.cpp
    LIBS vexcounter_core GTest::gtest_main)
vfc_add_test(vfcstat_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcstat_test.cpp
    LIBS vexcounter_ui vexif vfc_qt_test_main)
