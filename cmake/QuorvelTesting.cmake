# GoogleTest for every build target, and how test programs become CTest entries.
#
# Native builds use the system's GoogleTest. Cross builds compile it from the Debian source
# package (/usr/src/googletest) with the target's compiler and flags.
#
# Native test programs are split into one CTest entry per test case. Programs that run under
# an emulator (qemu-i386, Wine) are one CTest entry each, so that the emulator starts once
# per program rather than once per test case.

include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
    set(QUORVEL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources built for cross targets")
    if(NOT EXISTS ${QUORVEL_GOOGLETEST_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${QUORVEL_GOOGLETEST_SOURCE}; "
                            "install the googletest package (scripts/install-deps)")
    endif()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    if(WIN32)
        # mingw-w64's win32 thread model: GoogleTest uses Windows threads, not pthreads, and
        # a customisation header (found ahead of GoogleTest's own empty one, by GoogleTest
        # and by every test) replaces the one part built on std::mutex.
        set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
        include_directories(BEFORE ${CMAKE_CURRENT_LIST_DIR}/googletest-mingw)
    endif()
    add_subdirectory(${QUORVEL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
endif()

# quorvel_add_gtest(<target> [WORKING_DIRECTORY <dir>] [ON_WIN32])
#
# Registers the GoogleTest program <target> with CTest. ON_WIN32 labels it `win32`: the win32
# test preset runs only tests with that label, because under i386 Wine on a 64-bit-only
# kernel every program spends minutes in Wine's start-up.
function(quorvel_add_gtest target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "ON_WIN32" "WORKING_DIRECTORY" "")
    if(NOT arg_WORKING_DIRECTORY)
        set(arg_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    if(NOT CMAKE_CROSSCOMPILING)
        gtest_discover_tests(${target} WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
        return()
    endif()
    # One entry for the whole program: run-gtest-program turns a run that skipped tests into
    # exit code 77, which CTest counts as skipped and lists (natively each skipped test case
    # is its own skipped entry).
    add_test(NAME ${target}
        COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-gtest-program ${CMAKE_CROSSCOMPILING_EMULATOR}
                $<TARGET_FILE:${target}> --gtest_color=no
        WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
    set_tests_properties(${target} PROPERTIES SKIP_RETURN_CODE 77)
    if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
        set_tests_properties(${target} PROPERTIES TIMEOUT 1500 RUN_SERIAL ON)
    else()
        set_tests_properties(${target} PROPERTIES TIMEOUT 600)
    endif()
    if(arg_ON_WIN32)
        set_tests_properties(${target} PROPERTIES LABELS win32)
    endif()
endfunction()
