# Result texts and their cells' fields and digit groups (plain C++, no Qt).
target_sources(vexcounter_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ResultText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResultText.h
    ${CMAKE_CURRENT_LIST_DIR}/ResultCell.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResultCell.h)
