# The measurement cycle: its decisions against the scripted library, and real
# counts against the real library and a simulated module.
vfc_add_test(MeasurementCycle_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycleTest.cpp
             LIBS vexcounter_core vexif_fake GTest::gtest_main)
vfc_add_test(MeasurementCycle_library_tests
             SOURCES ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycleLibraryTest.cpp
             LIBS vexcounter_core vexif GTest::gtest_main)
