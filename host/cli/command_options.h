// Options that several subcommands share, and the checks of numeric options.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace quorvel::host {

inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

// Adds the required PLUGIN positional: a path to the plug-in library.
void addPluginOption(CLI::App& command, std::string& plugin);
// Adds --precision (32 or 64) and --block (1..1048576 frames).
void addPrecisionAndBlock(CLI::App& command, int& precision, int& blockSize);
// Adds --set NAME=VALUE (repeatable): a parameter, by title or index, set to 0..1 before
// processing.
void addSetOption(CLI::App& command, std::vector<std::string>& sets);
// Adds --timeout SECONDS: how long one plug-in call may take before it counts as hung.
void addTimeoutOption(CLI::App& command, double& seconds);
// A check that the option is a finite number within low..high (NaN and infinity are refused).
CLI::Validator finiteRange(double low, double high);

}  // namespace quorvel::host
