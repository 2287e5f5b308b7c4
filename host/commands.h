// The four commands of quorvel-host. Each answers the process exit code (0 success, 1
// failure) and throws HostError for a failure that one line explains.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/plugin_library.h"

struct InfoOptions {
    std::string plugin;
    bool json = false;
};

struct RenderOptions {
    std::string plugin;
    std::string input;  // empty: the built-in demo signal
    std::string output;
    std::vector<std::string> sets;   // NAME=VALUE
    std::vector<std::string> ramps;  // NAME=FROM:TO
    int precision = 32;
    int blockSize = 512;
    std::string plot;  // PNG path, empty for none
};

struct BenchOptions {
    std::string plugin;
    int precision = 32;
    int blockSize = 512;
    std::vector<std::string> sets;
    float sampleRate = 44100.0F;
    double seconds = 1.0;
};

int runInfo(const InfoOptions& options);
int runRender(const RenderOptions& options);
int runBench(const BenchOptions& options);

namespace CLI {
class App;
}

// One subcommand of quorvel-host: the CLI11 subcommand it registered and what runs it (answers the exit code).
struct Subcommand {
    CLI::App* command = nullptr;
    std::function<int()> run;
};
Subcommand addValidateCommand(CLI::App& app);  // host/validate_command.cpp

// Loads `library` and answers its entry point; throws HostError saying why it cannot.
PluginEntry requireEntry(PluginLibrary& library, const std::string& path);
