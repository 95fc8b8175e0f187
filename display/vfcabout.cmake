# About window: the texts need no window (vexcounter_core), the window itself
# is a widget (vexcounter_ui).
target_sources(vexcounter_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/vfcaboutText.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/vfcaboutText.h)
target_sources(vexcounter_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/vfcabout.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/vfcabout.h)
