# Runs `quorvel-host validate --json` (words joined by @@ in COMMAND) on a plug-in that crashes
# in one check, and checks that the run went on: exit status 1, verdict INVALID, the check
# CRASHED failed naming the fault and where (DETAIL, a regular expression), every check that
# --list names reported, and the checks PASSING (joined by @@) passed.
#
#   cmake -DCOMMAND=<word>@@... -DLIST=<word>@@... -DCRASHED=<check> -DDETAIL=<regex>
#         -DPASSING=<check>@@... -P expect_validate_survives.cmake
cmake_policy(SET CMP0007 NEW)
cmake_policy(SET CMP0057 NEW)
string(REPLACE "@@" ";" command "${COMMAND}")
string(REPLACE "@@" ";" list_command "${LIST}")
string(REPLACE "@@" ";" passing "${PASSING}")

execute_process(COMMAND ${list_command} RESULT_VARIABLE code OUTPUT_VARIABLE listed)
string(REGEX MATCHALL "(^|\n)[a-z0-9-]+" names "${listed}")
list(LENGTH names expected)

execute_process(COMMAND ${command} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code STREQUAL "1")
    message(FATAL_ERROR "exit status ${code}, expected 1; error output:\n${err}")
endif()
string(JSON verdict ERROR_VARIABLE problem GET "${out}" verdict)
if(problem OR NOT verdict STREQUAL "INVALID")
    message(FATAL_ERROR "expected the verdict INVALID (${problem}):\n${out}")
endif()
string(JSON count LENGTH "${out}" checks)
if(NOT count EQUAL expected)
    message(FATAL_ERROR "${count} checks reported, ${expected} listed:\n${out}")
endif()
math(EXPR last "${count} - 1")
set(seen)
foreach(k RANGE ${last})
    string(JSON name GET "${out}" checks ${k} name)
    string(JSON status GET "${out}" checks ${k} status)
    string(JSON detail GET "${out}" checks ${k} detail)
    if(name STREQUAL CRASHED AND NOT (status STREQUAL "FAIL" AND detail MATCHES "${DETAIL}"))
        message(FATAL_ERROR "${name}: ${status} '${detail}', expected FAIL matching '${DETAIL}'")
    endif()
    if(name IN_LIST passing AND NOT status STREQUAL "pass")
        message(FATAL_ERROR "${name}: ${status} '${detail}', expected pass")
    endif()
    list(APPEND seen ${name})
endforeach()
foreach(name IN LISTS passing CRASHED)
    if(NOT name IN_LIST seen)
        message(FATAL_ERROR "no result for ${name}:\n${out}")
    endif()
endforeach()
message(STATUS "${count} checks reported; ${CRASHED} failed as expected")
