# Checks what `cmake --install` puts into a prefix: run as
#
#   cmake -DBUILD_DIR=<build tree> -DPREFIX=<empty folder to install into> -DVERSION=<x.y.z>
#         -DEXPECTED=<file;file;...> [-DWINDRES=<windres>] [-DVERSION_PROGRAM=<file>]
#         -P check-install.cmake
#
# PREFIX is emptied first (it belongs to the check). Every file of EXPECTED (relative to the
# prefix) must be installed and nothing else. With WINDRES, every installed .dll and .exe must
# carry a version resource of VERSION naming the company, a product, a description and its
# own file name. With VERSION_PROGRAM (one of EXPECTED), the installed program's --version
# must print its name and VERSION. Every fault found is reported on its own line; any fault fails the check.
cmake_minimum_required(VERSION 3.25)

foreach(required BUILD_DIR PREFIX VERSION EXPECTED)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "check-install: -D${required}=... is required")
    endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    OUTPUT_QUIET ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "check-install: cmake --install failed: ${errors}")
endif()

set(faults "")
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
foreach(file IN LISTS EXPECTED)
    if(NOT file IN_LIST installed)
        list(APPEND faults "${file} was not installed")
    endif()
endforeach()
foreach(file IN LISTS installed)
    if(NOT file IN_LIST EXPECTED)
        list(APPEND faults "${file} was installed, unexpected")
    endif()
endforeach()

if(DEFINED WINDRES)
    string(REPLACE "." ", " numeric "${VERSION}")
    foreach(file IN LISTS installed)
        if(NOT file MATCHES "\\.(dll|exe)$")
            continue()
        endif()
        execute_process(COMMAND "${WINDRES}" -i "${PREFIX}/${file}" -O rc
            OUTPUT_VARIABLE resource ERROR_VARIABLE errors RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            list(APPEND faults "${file}: windres cannot read a resource: ${errors}")
            continue()
        endif()
        get_filename_component(name "${file}" NAME)
        foreach(expected "FILEVERSION ${numeric}" "PRODUCTVERSION ${numeric}"
                "\"FileVersion\", \"${VERSION}\"" "\"ProductVersion\", \"${VERSION}\""
                "\"CompanyName\", \"Halvorn Media Technologies\"" "\"ProductName\", \""
                "\"FileDescription\", \"" "\"OriginalFilename\", \"${name}\"")
            string(FIND "${resource}" "${expected}" at)
            if(at EQUAL -1)
                list(APPEND faults "${file}: the version resource lacks ${expected}")
            endif()
        endforeach()
    endforeach()
endif()

if(DEFINED VERSION_PROGRAM)
    execute_process(COMMAND "${PREFIX}/${VERSION_PROGRAM}" --version
        OUTPUT_VARIABLE shown ERROR_VARIABLE errors RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(name "${VERSION_PROGRAM}" NAME_WE)
    if(NOT status EQUAL 0 OR NOT shown STREQUAL "${name} ${VERSION}")
        list(APPEND faults "${VERSION_PROGRAM} --version printed '${shown}' (status ${status}), not '${name} ${VERSION}'")
    endif()
endif()

if(faults)
    list(JOIN faults "\n  " report)
    message(FATAL_ERROR "check-install: ${PREFIX}:\n  ${report}")
endif()
list(JOIN installed ", " shown)
message(STATUS "check-install: installed ${shown}")
