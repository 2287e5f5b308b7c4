#include <cstdio>

#include "host/subprocess.h"

namespace quorvel::host {

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    // The command interpreter finds the program on PATH; its error stream is read back
    // through the pipe, its output stream is discarded.
    std::string command = "\"" + program + "\"";
    for (const std::string& argument : arguments) {
        command += " \"" + argument + "\"";
    }
    command += " 2>&1 >NUL";
    // The command interpreter drops the first and the last quote of a command line that
    // starts with one: a pair around the whole line keeps the quotes inside it.
    command = "\"" + command + "\"";
    ProgramResult result;
    FILE* pipe = _popen(command.c_str(), "r");
    if (pipe == nullptr) {
        result.errorOutput = "cannot start the command interpreter";
        return result;
    }
    result.started = true;
    char chunk[512];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        result.errorOutput.append(chunk, got);
    }
    result.exitCode = _pclose(pipe);
    return result;
}

}  // namespace quorvel::host
