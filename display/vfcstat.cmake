# Status bar: the pin row's glyph choice and placement (plain C++), the bar
# widget, and the pin glyph pictures it loads (":/resources/status/1000.xpm"...).
target_sources(vexcounter_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/vfcstat_pins.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcstat_pins.h)
target_sources(vexcounter_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/vfcstat.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcstat.h
    ${CMAKE_CURRENT_LIST_DIR}/DeviceProblemsDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DeviceProblemsDialog.h)
qt_add_resources(vexcounter_ui "vfcstat_pin_glyphs"
    PREFIX "/"
    BASE ${CMAKE_CURRENT_LIST_DIR}/..
    FILES
        ${CMAKE_CURRENT_LIST_DIR}/../resources/status/1000.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/status/1001.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/status/1002.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/status/1003.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/status/1004.xpm)
