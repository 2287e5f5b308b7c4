# Runs a command that must fail and checks how: a non-zero exit code (EXIT), exactly one line
# on the error stream, matching PATTERN. The command's words are joined by @@ in COMMAND, so
# that none of them is taken for an option of cmake itself.
#
#   cmake -DEXIT=<code> -DPATTERN=<regex> -DCOMMAND=<word>@@<word>... -P expect_failure.cmake
string(REPLACE "@@" ";" command "${COMMAND}")

execute_process(COMMAND ${command} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "\r?\n$" "" err "${err}")
string(REGEX MATCHALL "\n" newlines "${err}")
list(LENGTH newlines extraLines)
if(NOT code STREQUAL EXIT)
    message(FATAL_ERROR "exit code ${code}, expected ${EXIT}; error output:\n${err}")
endif()
if(NOT extraLines EQUAL 0 OR err STREQUAL "")
    message(FATAL_ERROR "expected one line on the error stream, got:\n${err}")
endif()
if(NOT err MATCHES "${PATTERN}")
    message(FATAL_ERROR "the error line does not match '${PATTERN}':\n${err}")
endif()
message(STATUS "failed as expected: ${err}")
