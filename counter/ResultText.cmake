# Result texts (plain C++, no Qt).
target_sources(vexcounter_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ResultText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResultText.h)
