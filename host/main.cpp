// quorvel-host: loads a plug-in library of this binary interface and inspects, renders,
// validates or benchmarks it. Usage errors exit 2, failures 1; either is told in one line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "host/commands.h"
#include "host/plugin_instance.h"

namespace {

constexpr int usageError = 2;
constexpr int failure = 1;

void addPlugin(CLI::App& command, std::string& plugin) {
    command.add_option("PLUGIN", plugin, "The plug-in library (.so, .dll)")->required();
}

void addPrecisionAndBlock(CLI::App& command, int& precision, int& blockSize) {
    command.add_option("--precision", precision, "Sample precision in bits: 32 or 64")
        ->check(CLI::IsMember({32, 64}))
        ->capture_default_str();
    command.add_option("--block", blockSize, "Frames per processing block")
        ->check(CLI::Range(1, 1 << 20))
        ->capture_default_str();
}

int run(int argc, char** argv) {
    CLI::App app{"Loads a plug-in of the Quorvel binary interface and inspects, renders, validates or benchmarks it.",
                 "quorvel-host"};
    app.require_subcommand(1);
    // Arguments starting with a slash are paths, never options, on Windows too.
    app.allow_windows_style_options(false);

    InfoOptions info;
    CLI::App* infoCommand = app.add_subcommand("info", "Show the plug-in's identity, channels, flags, programs and parameters");
    addPlugin(*infoCommand, info.plugin);
    infoCommand->add_flag("--json", info.json, "Print JSON instead of a report");

    RenderOptions render;
    CLI::App* renderCommand = app.add_subcommand("render", "Process an audio file (or the built-in demo) into a file");
    addPlugin(*renderCommand, render.plugin);
    renderCommand->add_option("-i,--input", render.input, "Input audio file (any format libsndfile reads); "
                                                          "without it, the built-in demo signal");
    renderCommand->add_option("-o,--output", render.output, "Output file; its extension names the format")->required();
    renderCommand->add_option("--set", render.sets, "Set a parameter, by title or index: NAME=VALUE (0..1)");
    renderCommand->add_option("--ramp", render.ramps, "Move a parameter linearly over the file: NAME=FROM:TO");
    addPrecisionAndBlock(*renderCommand, render.precision, render.blockSize);
    renderCommand->add_option("--plot", render.plot, "Draw input and output waveforms to this PNG (needs gnuplot)");

    const Subcommand validate = addValidateCommand(app);

    BenchOptions bench;
    CLI::App* benchCommand = app.add_subcommand("bench", "Measure frames per second and the real-time factor");
    addPlugin(*benchCommand, bench.plugin);
    addPrecisionAndBlock(*benchCommand, bench.precision, bench.blockSize);
    benchCommand->add_option("--set", bench.sets, "Set a parameter, by title or index: NAME=VALUE (0..1)");
    benchCommand->add_option("--rate", bench.sampleRate, "Sample rate told to the plug-in, in Hz")
        ->check(CLI::Range(1.0F, 1.0e7F))
        ->capture_default_str();
    benchCommand->add_option("--seconds", bench.seconds, "Least time to measure for, in seconds")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "quorvel-host: %s (see quorvel-host --help)\n", error.what());
        return usageError;
    }

    try {
        if (infoCommand->parsed()) {
            return runInfo(info);
        }
        if (renderCommand->parsed()) {
            return runRender(render);
        }
        if (validate.command->parsed()) {
            return validate.run();
        }
        return runBench(bench);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorvel-host: %s\n", error.what());
        return failure;
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (...) {
        std::fprintf(stderr, "quorvel-host: an unexpected error ended the run\n");
        return failure;
    }
}
