# About window: its texts (table-driven) and the window with the scripted library.
vfc_add_test(vfcabout_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcaboutTextTest.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/vfcaboutTest.cpp
             LIBS vexcounter_ui vexcounter_core vexif_fake vfc_qt_test_main)
