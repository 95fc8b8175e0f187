# Counter settings groups: item tables and threshold texts (plain C++) and the
# group widgets, with the texts between plain C++ and the widgets (QtText.h),
# which the other widget folders use too.
target_sources(vexcounter_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/vfcgroups_values.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcgroups_values.h)
target_sources(vexcounter_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/vfcgroups.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcgroups.h
    ${CMAKE_CURRENT_LIST_DIR}/vfcgroups_thresh.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcgroups_thresh.h
    ${CMAKE_CURRENT_LIST_DIR}/QtText.h)
