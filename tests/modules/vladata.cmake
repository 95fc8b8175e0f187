# Tests of the analyser data model and the trigger expression compiler. The
# main suite runs on the real library (QV_Info needs no server); the library
# suite links the scripted fake to watch the calls and make them fail.
vfc_add_test(vladata_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/TriggerExpressionTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/TriggerExpressionRandomTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/AnalyserDataTest.cpp
    LIBS vexcounter_core vexif GTest::gtest_main)

vfc_add_test(vladata_library_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/AnalyserDataLibraryTest.cpp
    LIBS vexcounter_core vexif_fake GTest::gtest_main)
