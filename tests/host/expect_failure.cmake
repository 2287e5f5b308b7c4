# Runs a command that must fail and checks how: a non-zero exit code (EXIT), exactly one line
# on the error stream, matching PATTERN.
#
#   cmake -DEXIT=<code> -DPATTERN=<regex> -P expect_failure.cmake -- <command> [arguments...]
set(command)
set(collect OFF)
foreach(index RANGE ${CMAKE_ARGC})
    if(collect AND DEFINED CMAKE_ARGV${index})
        list(APPEND command "${CMAKE_ARGV${index}}")
    elseif("${CMAKE_ARGV${index}}" STREQUAL "--")
        set(collect ON)
    endif()
endforeach()

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
