# Module selection: the filter and list logic and the attachment of the
# selected module (plain C++), and the selection group widget.
target_sources(vexcounter_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ModuleList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModuleList.h
    ${CMAKE_CURRENT_LIST_DIR}/ModuleAttachment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModuleAttachment.h)
target_sources(vexcounter_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/vfcmodsel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vfcmodsel.h)
