# Runs a render that must fail because of its plug-in and checks that nothing of the user's
# is lost: exit code 1, one line on the error stream matching PATTERN, the file that was at
# the output path before (kept.wav) byte for byte as it was, and no other file left in the
# folder. The command runs in FOLDER with QUORVEL_HOSTILE set to HOSTILE; its words are
# joined by @@ in COMMAND.
#
#   cmake -DHOSTILE=<behaviour> -DPATTERN=<regex> -DFOLDER=<dir> -DCOMMAND=<word>@@... -P expect_file_kept.cmake
string(REPLACE "@@" ";" command "${COMMAND}")
set(earlier "the user's earlier render, not to be lost")

file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
file(WRITE "${FOLDER}/kept.wav" "${earlier}")
set(ENV{QUORVEL_HOSTILE} "${HOSTILE}")
execute_process(COMMAND ${command} WORKING_DIRECTORY "${FOLDER}" RESULT_VARIABLE code ERROR_VARIABLE err)
string(REGEX REPLACE "\r?\n$" "" err "${err}")

if(NOT code STREQUAL "1")
    message(FATAL_ERROR "exit code ${code}, expected 1; error output:\n${err}")
endif()
if(err MATCHES "\n" OR NOT err MATCHES "${PATTERN}")
    message(FATAL_ERROR "expected one error line matching '${PATTERN}', got:\n${err}")
endif()
file(READ "${FOLDER}/kept.wav" after)
if(NOT after STREQUAL earlier)
    message(FATAL_ERROR "the earlier kept.wav was changed")
endif()
# A file the tool removed while one of its handles was still open (Windows) leaves the folder
# when the ended process's handles are closed, which Wine finishes just after the process is
# gone: a leftover must still be there after two seconds to count.
foreach(attempt RANGE 20)
    file(GLOB left RELATIVE "${FOLDER}" "${FOLDER}/*" "${FOLDER}/.*")
    list(REMOVE_ITEM left kept.wav)
    if(NOT left)
        break()
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 0.1)
endforeach()
if(left)
    message(FATAL_ERROR "files left behind: ${left}")
endif()
message(STATUS "failed as expected, kept.wav unchanged: ${err}")
