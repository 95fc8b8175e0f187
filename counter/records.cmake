# Measurement records: the finished-count report, per-channel statistics with
# the trend history, the CSV log and the grid's copy text (plain C++).
target_sources(vexcounter_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/FinishedCount.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FinishedCount.h
    ${CMAKE_CURRENT_LIST_DIR}/ChannelStatistics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ChannelStatistics.h
    ${CMAKE_CURRENT_LIST_DIR}/TrendHistory.h
    ${CMAKE_CURRENT_LIST_DIR}/MeasurementLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MeasurementLog.h
    ${CMAKE_CURRENT_LIST_DIR}/GridCopy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GridCopy.h)
