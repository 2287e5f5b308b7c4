#include "host/cli/command_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quorvel::host {

void addPluginOption(CLI::App& command, std::string& plugin) {
    command
        .add_option("PLUGIN", plugin, "The plug-in library file (.so, .dll); a name without a folder is a file here")
        ->required();
}

void addPrecisionAndBlock(CLI::App& command, int& precision, int& blockSize) {
    command.add_option("--precision", precision, "Sample precision in bits: 32 or 64")
        ->check(CLI::IsMember({32, 64}))
        ->capture_default_str();
    command.add_option("--block", blockSize, "Frames per processing block")
        ->check(CLI::Range(1, 1 << 20))
        ->capture_default_str();
}

void addSetOption(CLI::App& command, std::vector<std::string>& sets) {
    command.add_option("--set", sets, "Set a parameter, by title or index: NAME=VALUE (0..1)");
}

void addTimeoutOption(CLI::App& command, double& seconds) {
    command.add_option("--timeout", seconds, "Seconds one plug-in call may take before it counts as hung")
        ->check(finiteRange(0.001, 86400.0))
        ->capture_default_str();
}

namespace {

std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

CLI::Validator finiteRange(double low, double high) {
    const std::string range = shortNumber(low) + ".." + shortNumber(high);
    return CLI::Validator(
        [low, high, range](const std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || end != text.c_str() + text.size()) {
                return "'" + text + "' is not a number";
            }
            if (!std::isfinite(value)) {
                return "'" + text + "' is not a finite number";
            }
            if (value < low || value > high) {
                return "'" + text + "' is out of range " + range;
            }
            return {};
        },
        "NUMBER in " + range);
}

}  // namespace quorvel::host
