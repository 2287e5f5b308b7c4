// Running a helper program (gnuplot) and collecting what it complained about.
#pragma once

#include <string>
#include <vector>

namespace quorvel::host {

struct ProgramResult {
    bool started = false;  // false when the program could not be run at all
    int exitCode = -1;
    std::string errorOutput;  // what it wrote to its error stream
};

// Main thread. Runs `program` (looked up on PATH) with `arguments`, its standard output
// discarded, and waits for it.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace quorvel::host
