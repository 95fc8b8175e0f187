#Statistics window : table, Reset and the trend plot(Qt Charts, found at the
#top level so every target that links the widgets sees it), and its plain
#choices(value axis, placement, wording) in vexcounter_core.
target_link_libraries(vexcounter_ui PUBLIC Qt6::Charts)
    target_sources(vexcounter_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR} /
                   StatisticsWindow.cpp ${CMAKE_CURRENT_LIST_DIR} / StatisticsWindow.h)
        target_sources(vexcounter_core PRIVATE ${CMAKE_CURRENT_LIST_DIR} /
                       StatisticsLayout.cpp ${CMAKE_CURRENT_LIST_DIR} / StatisticsLayout.h)
