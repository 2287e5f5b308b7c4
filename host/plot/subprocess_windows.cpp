#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/plot/subprocess.h"
#include "host/supervision/isolation.h"

namespace quorvel::host {

namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input) {
    // The command interpreter finds the program on PATH. Input, output and error stream go
    // through files of the tool's own in the temporary folder, registered and removed again;
    // only those names, never a user's text, are on the command line besides the arguments.
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string stem =
        "quorvel-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    const std::filesystem::path files[3] = {folder / (stem + ".in"), folder / (stem + ".out"),
                                            folder / (stem + ".err")};
    for (const auto& file : files) {
        registerTemporaryFile(file.string());
    }
    std::ofstream(files[0], std::ios::binary) << input;
    std::string command = "\"" + program + "\"";
    for (const std::string& argument : arguments) {
        command += " \"" + argument + "\"";
    }
    command += " <\"" + files[0].string() + "\" >\"" + files[1].string() + "\" 2>\"" + files[2].string() + "\"";
    // The command interpreter drops the first and the last quote of a command line that
    // starts with one: a pair around the whole line keeps the quotes inside it.
    command = "\"" + command + "\"";
    ProgramResult result;
    const int status = std::system(command.c_str());
    result.started = status != -1;
    result.exitCode = status;
    result.output = readAll(files[1]);
    result.errorOutput = readAll(files[2]);
    for (const auto& file : files) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        forgetTemporaryFile(file.string());
    }
    return result;
}

}  // namespace quorvel::host
