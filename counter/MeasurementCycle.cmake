# The measurement cycle's logic: plain C++ in vexcounter_core.
target_sources(vexcounter_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycle.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycle.h)
