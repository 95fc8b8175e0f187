# Counter settings groups: plain tables and texts, then the widgets offscreen.
vfc_add_test(vfcgroups_values_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcgroups_values_test.cpp
    LIBS vexcounter_core GTest::gtest_main)
vfc_add_test(vfcgroups_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcgroups_test.cpp
    LIBS vexcounter_ui vexif vfc_qt_test_main)
