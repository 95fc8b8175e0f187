# Every source folder includes only from the folders (or single headers) its
# README allows:
#     app -> display, modules -> counter -> device -> vexif/vexif.h
#     server -> vexif (vexif.h, TcpProtocol.h) -> acquisition -> engine
# (display and modules side by side; app also reaches resources; vexif may
# use engine/ and acquisition/ whole; server/main.cpp also acquisition/). Run as
#     cmake -DSOURCE_DIR=<source tree> -P Layering.cmake
# it lists every quoted #include that the including file may not use, and
# fails if there is one. A path ("counter/QtText.h") names its folder; a bare
# name ("TModIfCpp.h") is found beside the including file or, through the
# include path, in whichever folder holds a header of that name. Keep the
# table in step with the folders' READMEs.
cmake_minimum_required(VERSION 3.25)

set(folders app display modules counter device engine acquisition vexif server)
# A folder may include from itself and from these folders or headers.
set(allowed_app display modules counter device resources vexif/vexif.h)
set(allowed_display counter device vexif/vexif.h)
set(allowed_modules counter device vexif/vexif.h)
set(allowed_counter device vexif/vexif.h)
set(allowed_device vexif/vexif.h)
set(allowed_engine)
set(allowed_acquisition engine)
set(allowed_vexif engine acquisition)
set(allowed_server engine vexif/vexif.h vexif/TcpProtocol.h)
# Single files with more than their folder.
set(also_server/main.cpp acquisition)

if(NOT IS_DIRECTORY "${SOURCE_DIR}")
    message(FATAL_ERROR "SOURCE_DIR must name the source tree")
endif()

# Every header of the checked folders by its bare name.
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE headers RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.h")
    foreach(header IN LISTS headers)
        get_filename_component(name "${header}" NAME)
        list(APPEND "where_${name}" "${header}")
    endforeach()
endforeach()

# Whether source may include the tree's file target (both relative to the tree).
function(may_include source target result)
    string(REGEX MATCH "^[^/]+" from "${source}")
    string(REGEX MATCH "^[^/]+" to "${target}")
    set(ok FALSE)
    if(to STREQUAL from OR to IN_LIST allowed_${from} OR target IN_LIST allowed_${from}
       OR to IN_LIST also_${source})
        set(ok TRUE)
    endif()
    set(${result} ${ok} PARENT_SCOPE)
endfunction()

set(wrong "")
set(checked 0)
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.h"
         "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.c")
    foreach(source IN LISTS sources)
        math(EXPR checked "${checked} + 1")
        get_filename_component(directory "${source}" DIRECTORY)
        file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
            # The file the include names: beside the source first, then the
            # tree path it spells, then any folder's header of that name.
            set(candidates "")
            if(EXISTS "${SOURCE_DIR}/${directory}/${header}")
                file(REAL_PATH "${SOURCE_DIR}/${directory}/${header}" full)
                file(RELATIVE_PATH candidates "${SOURCE_DIR}" "${full}")
            elseif(header MATCHES "/" AND EXISTS "${SOURCE_DIR}/${header}")
                set(candidates "${header}")
            elseif(NOT header MATCHES "/")
                set(candidates ${where_${header}})
            endif()
            if(NOT candidates)
                continue() # not a file of the checked folders (generated, third party)
            endif()
            set(reachable FALSE)
            foreach(candidate IN LISTS candidates)
                may_include("${source}" "${candidate}" ok)
                if(ok)
                    set(reachable TRUE)
                endif()
            endforeach()
            if(NOT reachable)
                list(JOIN candidates " or " names)
                list(JOIN allowed_${folder} ", " may)
                if(NOT may)
                    set(may "nothing else")
                endif()
                string(APPEND wrong
                       "  ${source}: \"${header}\" is ${names} (${folder}/ may include ${may})\n")
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
