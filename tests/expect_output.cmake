# Runs a command and checks how it ended: exactly the exit code EXIT (a crash or a signal is
# never taken for it, whatever EXIT is), and its output (standard output, then the error
# stream) matching PATTERN. The
# command's words are joined by @@ in COMMAND, so that none of them is taken for an option of
# cmake itself.
#
#   cmake -DEXIT=<code> -DPATTERN=<regex> -DCOMMAND=<word>@@<word>... -P expect_output.cmake
string(REPLACE "@@" ";" command "${COMMAND}")
list(FILTER command EXCLUDE REGEX "^$")

execute_process(COMMAND ${command} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
# A program ended by a signal gives its name ("Segmentation fault", "Child aborted"), not a number.
if(NOT code MATCHES "^[0-9]+$")
    message(FATAL_ERROR "the command crashed (${code}), expected exit code ${EXIT}; output:\n${out}\n${err}")
endif()
if(NOT code EQUAL EXIT)
    message(FATAL_ERROR "exit code ${code}, expected ${EXIT}; output:\n${out}\n${err}")
endif()
if(NOT "${out}${err}" MATCHES "${PATTERN}")
    message(FATAL_ERROR "the output does not match '${PATTERN}':\n${out}\n${err}")
endif()
message(STATUS "exit code ${code} as expected, output matches '${PATTERN}'")
