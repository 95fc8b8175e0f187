# vexif only because vexcounter_ui's moc object also carries the main window.
vfc_add_test(display_vfcgrid_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vfcgridTest.cpp
    LIBS vexcounter_ui vexif vfc_qt_test_main)
