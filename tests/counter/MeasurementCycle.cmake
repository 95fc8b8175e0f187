# The measurement cycle: its decisions against the scripted library, and one
# frequency count against the real library and a simulated module.
vfc_add_test(MeasurementCycle_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycleTest.cpp
             LIBS vexcounter_core vexif_fake GTest::gtest_main)
