// The four commands of quorvel-host. Each registers its own options on the CLI11 app and
// answers what runs it. A run answers the process exit code (0 success, 1 failure) and throws
// UsageError (exit 2) or HostError (exit 1) for a failure that one line explains.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

#include "host/supervision/isolation.h"

namespace quorvel::host {

// One subcommand of quorvel-host: the CLI11 subcommand it registered, what runs it (answers the
// exit code) and the supervised work it hands to runIsolated(), which a worker process of the
// command serves (empty for a command with none).
struct Subcommand {
    CLI::App* command = nullptr;
    std::function<int()> run;
    SupervisedWork work;
};
Subcommand addInfoCommand(CLI::App& app);      // host/cli/info_command.cpp
Subcommand addRenderCommand(CLI::App& app);    // host/cli/render_command.cpp
Subcommand addValidateCommand(CLI::App& app);  // host/cli/validate_command.cpp
Subcommand addBenchCommand(CLI::App& app);     // host/cli/bench_command.cpp

// The default for --timeout: the longest a single plug-in call may take before it counts as hung.
inline constexpr double defaultCallTimeoutSeconds = 60.0;

struct InfoOptions {
    std::string plugin;
    bool json = false;
    double timeoutSeconds = defaultCallTimeoutSeconds;
};

// How samples are stored in the rendered file; `automatic` is 32-bit float (64-bit float with
// --precision 64) where the format can, else the nearest it has.
enum class EncodingChoice { automatic, pcm16, pcm24, float32, float64 };

struct RenderOptions {
    std::string plugin;
    std::string input;  // empty: the built-in demo signal
    std::string output;
    std::vector<std::string> sets;   // NAME=VALUE
    std::vector<std::string> ramps;  // NAME=FROM:TO
    int precision = 32;
    int blockSize = 512;
    std::string plot;  // picture path (.png, .svg, .pdf), empty for none
    EncodingChoice encoding = EncodingChoice::automatic;
    double tailSeconds = 0.0;  // silence rendered after the input
    bool strict = false;       // non-finite output samples fail the render
    double timeoutSeconds = defaultCallTimeoutSeconds;
};

struct BenchOptions {
    std::string plugin;
    int precision = 32;
    int blockSize = 512;
    std::vector<std::string> sets;
    float sampleRate = 44100.0F;
    double seconds = 1.0;
    double timeoutSeconds = defaultCallTimeoutSeconds;
};

// Main thread. Each command's work, as its subcommand runs it.
int runInfo(const InfoOptions& options);
int runRender(const RenderOptions& options);
int runBench(const BenchOptions& options);

}  // namespace quorvel::host
