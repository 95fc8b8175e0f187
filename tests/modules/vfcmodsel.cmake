# Module selection and module attachment. Failure paths run against the
# scripted library; one test binary runs against the real library and its
# built-in server.
vfc_add_test(modsel_logic_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ModuleListTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/ModuleAttachmentTest.cpp
    LIBS vexcounter_core vexif_fake GTest::gtest_main)
vfc_add_test(modsel_group_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcmodselTest.cpp
    LIBS vexcounter_ui vexif_fake vfc_qt_test_main)
vfc_add_test(modsel_server_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcmodselServerTest.cpp
    LIBS vexcounter_ui vexif vfc_qt_test_main)
