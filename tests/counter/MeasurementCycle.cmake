# The measurement cycle's decisions on the scripted library and the High Resolution
# texts it writes; real counts on the built-in server are tested through the window.
vfc_add_test(MeasurementCycle_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycleTest.cpp
                     ${CMAKE_CURRENT_LIST_DIR}/HighResolutionTest.cpp
             LIBS vexcounter_core vexif_fake GTest::gtest_main)
