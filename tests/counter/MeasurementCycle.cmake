# The measurement cycle's decisions against the scripted library; real counts
# on the built-in server are tested through the main window.
vfc_add_test(MeasurementCycle_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycleTest.cpp
             LIBS vexcounter_core vexif_fake GTest::gtest_main)
# High-resolution texts, the time-base text and the slow reads of the time
# base and the device problems, against the scripted library.
vfc_add_test(counter_measures_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/HighResolutionTest.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/HighResolutionCycleTest.cpp
             LIBS vexcounter_core vexif_fake GTest::gtest_main)
