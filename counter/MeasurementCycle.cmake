# The measurement cycle's logic: plain C++ in vexcounter_core. With it, the
# engine's measures as high-resolution texts and the slow reads of the time
# base and the device problems.
target_sources(vexcounter_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycle.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/MeasurementCycle.h
                                       ${CMAKE_CURRENT_LIST_DIR}/HighResolutionText.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/HighResolutionText.h
                                       ${CMAKE_CURRENT_LIST_DIR}/EngineWatch.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/EngineWatch.h)
