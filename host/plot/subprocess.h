// Running a helper program (gnuplot): its input given through a pipe, its output and complaints
// collected through pipes, so that no file of the tool's is named on its command line.
#pragma once

#include <string>
#include <vector>

namespace quorvel::host {

struct ProgramResult {
    bool started = false;     // false when the program could not be run at all
    int exitCode = -1;        // 128 + the signal when a signal ended it
    std::string output;       // what it wrote to its standard output
    std::string errorOutput;  // what it wrote to its error stream
};

// Main thread (or the supervised work's). Runs `program` (looked up on PATH) with `arguments`,
// `input` written to its standard input, and waits for it. The program ends with the process
// that started it (on Linux it is killed when its parent dies), so that no orphan of an
// interrupted or crashed run goes on working.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input = {});

}  // namespace quorvel::host
