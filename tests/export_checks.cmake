# CTest checks of what the plug-in library shows the loader, run on the build machine with
# binutils (no emulator needed), plus a decoy library that proves the check catches faults.
set(quorvel_check_exports ${CMAKE_CURRENT_SOURCE_DIR}/check_exports.cmake)

if(WIN32)
    # objdump of the target's binutils (set by the mingw toolchain files).
    if(NOT CMAKE_OBJDUMP)
        message(FATAL_ERROR "objdump for ${CMAKE_SYSTEM_NAME} not found; install binutils-mingw-w64")
    endif()
    set(quorvel_export_format pe)
    set(quorvel_export_tool ${CMAKE_OBJDUMP})
else()
    find_program(QUORVEL_NM NAMES nm REQUIRED)
    set(quorvel_export_format elf)
    set(quorvel_export_tool ${QUORVEL_NM})
endif()

add_test(NAME export_table
    COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:quorvel> -DFORMAT=${quorvel_export_format}
            -DTOOL=${quorvel_export_tool} -DMODULE_NAME=quorvel.dll -P ${quorvel_check_exports})
set_tests_properties(export_table PROPERTIES LABELS win32)

# A library with every fault the check looks for: a missing and a third export, and on
# Windows a module of another name that imports the compiler's runtime.
add_library(export_check_decoy MODULE export_check_decoy.cpp)
set_target_properties(export_check_decoy PROPERTIES PREFIX "")
# Faults in the order the check reports them.
set(decoy_faults "exports unexpected name 'decoyExtra'.*does not export 'main'")
if(WIN32)
    set(decoy_faults "names the module 'export_check_decoy.dll', not 'quorvel.dll'"
                     ".*imports from 'libstdc\\+\\+-6.dll'.*${decoy_faults}")
    string(JOIN "" decoy_faults ${decoy_faults})
endif()
# The check must fail on it (exit code 1, not a pass that prints the faults) and name them.
set(decoy_check ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:export_check_decoy> -DFORMAT=${quorvel_export_format}
    -DTOOL=${quorvel_export_tool} -DMODULE_NAME=quorvel.dll -P ${quorvel_check_exports})
string(REPLACE ";" "@@" decoy_check "${decoy_check}")
add_test(NAME export_table_rejects_faults
    COMMAND ${CMAKE_COMMAND} -DEXIT=1 -DPATTERN=${decoy_faults} -DCOMMAND=${decoy_check}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/expect_output.cmake)
set_tests_properties(export_table_rejects_faults PROPERTIES LABELS win32)
