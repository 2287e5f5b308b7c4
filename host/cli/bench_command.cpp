// quorvel-host bench: frames per second and real-time factor of the plug-in's processing.
#include <cstdio>
#include <memory>

#include "host/cli/command_options.h"
#include "host/cli/commands.h"
#include "host/loader/plugin_info.h"
#include "host/render/throughput.h"
#include "host/supervision/supervised_run.h"

namespace quorvel::host {

namespace {

// The supervised part: measures the plug-in and answers the report.
std::string benchSupervised(const BenchOptions& options, const std::string& /*unit*/) {
    SupervisedPlugin plugin(options.plugin);
    PluginInstance& instance = plugin.instance();
    const std::vector<ParamSetting> params = parseParamSettings(options.sets, {}, instance);
    const Precision precision = options.precision == 64 ? Precision::float64 : Precision::float32;
    prepareForProcessing(instance, options.sampleRate, options.blockSize, precision);
    const Throughput result =
        measureThroughput(instance, precision, options.blockSize, options.sampleRate, params, options.seconds);
    const std::string effect = printableText(instance.effectName().text);
    instance.close();

    char text[1024];
    std::snprintf(text, sizeof text,
                  "%s: %d-bit samples, blocks of %d frames at %.0f Hz\n"
                  "frames/s          %.0f\n"
                  "real-time factor  %.1f\n"
                  "(%lld frames in %.3f s)\n",
                  effect.c_str(), options.precision, options.blockSize, static_cast<double>(options.sampleRate),
                  result.framesPerSecond, result.realTimeFactor, static_cast<long long>(result.frames), result.seconds);
    return std::string(text);
}

}  // namespace

int runBench(const BenchOptions& options) {
    const SupervisedWork work = [&options](const std::string& unit) { return benchSupervised(options, unit); };
    const std::string report = runSupervised(work, {}, "bench", options.timeoutSeconds);
    std::fputs(report.c_str(), stdout);
    return 0;
}

Subcommand addBenchCommand(CLI::App& app) {
    auto options = std::make_shared<BenchOptions>();
    CLI::App* command = app.add_subcommand("bench", "Measure frames per second and the real-time factor");
    addPluginOption(*command, options->plugin);
    addPrecisionAndBlock(*command, options->precision, options->blockSize);
    addSetOption(*command, options->sets);
    command->add_option("--rate", options->sampleRate, "Sample rate told to the plug-in, in Hz")
        ->check(finiteRange(1.0, 1.0e7))
        ->capture_default_str();
    command->add_option("--seconds", options->seconds, "Least time to measure for, in seconds")
        ->check(finiteRange(0.0, 3600.0))
        ->capture_default_str();
    addTimeoutOption(*command, options->timeoutSeconds);
    return {command, [options]() { return runBench(*options); },
            supervisedWork([options](const std::string& unit) { return benchSupervised(*options, unit); })};
}

}  // namespace quorvel::host
