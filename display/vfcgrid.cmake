# Result grid: the widget (vexcounter_ui), its plain helpers (vexcounter_core)
# and the channel code glyphs.
target_sources(vexcounter_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ChannelTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ChannelTable.h)
target_sources(vexcounter_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/vfcgrid.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcgrid_keys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcgrid.h
    ${CMAKE_CURRENT_LIST_DIR}/vfcgridpaint.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcgridpaint.h)
qt_add_resources(vexcounter_ui "vfcgrid_glyphs" PREFIX "/"
    BASE ${CMAKE_CURRENT_LIST_DIR}/../resources
    FILES
        ${CMAKE_CURRENT_LIST_DIR}/../resources/grid/2000.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/grid/2001.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/grid/2002.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/grid/2003.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/grid/2004.xpm
        ${CMAKE_CURRENT_LIST_DIR}/../resources/grid/2005.xpm)
