# Checks what a built plug-in library shows the loader: run as
#
#   cmake -DLIBRARY=<file> -DFORMAT=elf|pe -DTOOL=<nm|objdump> [-DMODULE_NAME=quorvel.dll] -P check_exports.cmake
#
# elf: `nm -D --defined-only` must list exactly VSTPluginMain and main.
# pe:  `objdump -p` must show the export directory naming MODULE_NAME, exactly the exports
#      VSTPluginMain and main, undecorated and at one address, and imports from Windows
#      system DLLs only (the compiler's runtime must be linked in, not imported).
# Every fault found is reported on its own line; any fault fails the check.
cmake_minimum_required(VERSION 3.25)

foreach(required LIBRARY FORMAT TOOL)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "check_exports: -D${required}=... is required")
    endif()
endforeach()
if(NOT EXISTS "${LIBRARY}")
    message(FATAL_ERROR "check_exports: ${LIBRARY} does not exist")
endif()

set(expected_exports VSTPluginMain main)
set(faults "")

# DLLs that every Windows installation provides. Anything else (libstdc++-6.dll,
# libgcc_s_*.dll, libwinpthread-1.dll, ...) would have to ship beside the plug-in.
set(system_dll_pattern
    "^(kernel32|kernelbase|ntdll|user32|gdi32|advapi32|shell32|ole32|oleaut32|ws2_32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\\.dll$")

if(FORMAT STREQUAL "elf")
    execute_process(COMMAND "${TOOL}" -D --defined-only "${LIBRARY}"
        OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "check_exports: ${TOOL} failed on ${LIBRARY}: ${errors}")
    endif()
    string(REGEX MATCHALL "[^\n]+" lines "${listing}")
    set(exports "")
    foreach(line IN LISTS lines)
        # "<address> <type> <name>"; versioned names carry "@VERSION".
        if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] ([^ ]+)$")
            list(APPEND exports "${CMAKE_MATCH_1}")
        endif()
    endforeach()

elseif(FORMAT STREQUAL "pe")
    execute_process(COMMAND "${TOOL}" -p "${LIBRARY}"
        OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "check_exports: ${TOOL} failed on ${LIBRARY}: ${errors}")
    endif()
    string(REGEX MATCHALL "[^\n]+" lines "${listing}")

    set(section "")
    set(exports "")
    set(export_addresses "")
    set(module_name "")
    set(imports "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^The Export Tables")
            set(section exports)
        elseif(line MATCHES "^The Import Tables")
            set(section imports)
        elseif(line MATCHES "^(The |PE File Base Relocations|Sections:)")
            set(section "")
        elseif(section STREQUAL "exports" AND line MATCHES "^Name[ \t]+[0-9a-fA-F]+[ \t]+(.+)$")
            string(STRIP "${CMAKE_MATCH_1}" module_name)
        elseif(section STREQUAL "exports" AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\] +([0-9a-fA-F]+) ")
            # Export Address Table: "[rank] +base[ordinal] <address> Export RVA".
            list(APPEND export_addresses "${CMAKE_MATCH_1}")
        elseif(section STREQUAL "exports" AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] ([^ ]+)$")
            # Name Pointer Table: "[rank] <name>".
            list(APPEND exports "${CMAKE_MATCH_1}")
        elseif(section STREQUAL "imports" AND line MATCHES "^[ \t]+DLL Name: (.+)$")
            string(STRIP "${CMAKE_MATCH_1}" dll)
            list(APPEND imports "${dll}")
        endif()
    endforeach()

    if(DEFINED MODULE_NAME AND NOT module_name STREQUAL MODULE_NAME)
        list(APPEND faults "the export directory names the module '${module_name}', not '${MODULE_NAME}'")
    endif()
    list(REMOVE_DUPLICATES export_addresses)
    list(LENGTH export_addresses address_count)
    if(address_count GREATER 1)
        list(APPEND faults "the exports lead to ${address_count} different addresses, not to one function")
    endif()
    foreach(dll IN LISTS imports)
        string(TOLOWER "${dll}" lower)
        if(NOT lower MATCHES "${system_dll_pattern}")
            list(APPEND faults "imports from '${dll}', which is not a Windows system DLL")
        endif()
    endforeach()

else()
    message(FATAL_ERROR "check_exports: FORMAT must be elf or pe, not '${FORMAT}'")
endif()

foreach(name IN LISTS exports)
    if(NOT name IN_LIST expected_exports)
        list(APPEND faults "exports unexpected name '${name}'")
    endif()
endforeach()
foreach(name IN LISTS expected_exports)
    if(NOT name IN_LIST exports)
        list(APPEND faults "does not export '${name}'")
    endif()
endforeach()

if(faults)
    list(JOIN faults "\n  " report)
    message(FATAL_ERROR "check_exports: ${LIBRARY}:\n  ${report}")
endif()
list(JOIN exports ", " shown)
message(STATUS "check_exports: ${LIBRARY} exports exactly ${shown}")
if(FORMAT STREQUAL "pe")
    list(JOIN imports ", " shown)
    message(STATUS "check_exports: module ${module_name}; imports only ${shown}")
endif()
