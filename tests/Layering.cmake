# The application's folders include only from the folders below them:
#     app -> display, modules -> counter -> device
# (display and modules side by side; app also reaches resources). Run as
#     cmake -DSOURCE_DIR=<source tree> -P Layering.cmake
# it lists every quoted #include of a top-level folder that the including
# folder may not depend on, and fails if there is one. Keep the table in step
# with the folders' READMEs.
cmake_minimum_required(VERSION 3.25)

set(allowed_app app display modules counter device resources)
set(allowed_display display counter device)
set(allowed_modules modules counter device)
set(allowed_counter counter device)
set(allowed_device device)

if(NOT IS_DIRECTORY "${SOURCE_DIR}")
    message(FATAL_ERROR "SOURCE_DIR must name the source tree")
endif()
set(wrong "")
set(checked 0)
foreach(folder app display modules counter device)
    file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.h"
         "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source IN LISTS sources)
        math(EXPR checked "${checked} + 1")
        file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
            # Only a path that starts with a folder of the source tree names a layer.
            if(NOT header MATCHES "^([A-Za-z0-9_]+)/")
                continue()
            endif()
            set(layer "${CMAKE_MATCH_1}")
            if(IS_DIRECTORY "${SOURCE_DIR}/${layer}")
                if(NOT layer IN_LIST allowed_${folder})
                    list(JOIN allowed_${folder} ", " may)
                    string(APPEND wrong "  ${source}: \"${header}\" (${folder}/ may include ${may})\n")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "no sources found under ${SOURCE_DIR}")
endif()
if(wrong)
    message(FATAL_ERROR "Includes against the layers:\n${wrong}")
endif()
message(STATUS "${checked} files keep to the layers")
