# Module selection and module attachment against the scripted library; the
# main window's tests meet them on the real library and its built-in server.
vfc_add_test(modsel_logic_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ModuleListTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/ModuleAttachmentTest.cpp
    LIBS vexcounter_core vexif_fake GTest::gtest_main)
vfc_add_test(modsel_group_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcmodselTest.cpp
    LIBS vexcounter_ui vexif_fake vfc_qt_test_main)
