# Measurement records (plain C++): statistics, log, copy text; and the cycle's
# report of finished counts against the scripted library.
vfc_add_test(counter_records_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/RecordsTest.cpp
    LIBS vexcounter_core GTest::gtest_main)
vfc_add_test(counter_finishedcount_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/FinishedCountTest.cpp
    LIBS vexcounter_core vexif_fake GTest::gtest_main)
