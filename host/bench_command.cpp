// quorvel-host bench: frames per second and real-time factor of the plug-in's processing.
#include <cstdio>

#include "host/commands.h"
#include "host/throughput.h"

int runBench(const BenchOptions& options) {
    PluginLibrary library(options.plugin);
    PluginInstance instance(requireEntry(library, options.plugin));
    instance.open();
    std::vector<ParamSetting> params;
    for (const std::string& text : options.sets) {
        params.push_back(parseParamSetting(text, false, instance));
    }
    instance.configure(options.sampleRate, options.blockSize);
    instance.setActive(true);
    const Precision precision = options.precision == 64 ? Precision::float64 : Precision::float32;
    const Throughput result =
        measureThroughput(instance, precision, options.blockSize, options.sampleRate, params, options.seconds);
    const std::string effect = instance.effectName().text;
    instance.close();

    std::printf("%s: %d-bit samples, blocks of %d frames at %.0f Hz\n", effect.c_str(), options.precision,
                options.blockSize, static_cast<double>(options.sampleRate));
    std::printf("frames/s          %.0f\n", result.framesPerSecond);
    std::printf("real-time factor  %.1f\n", result.realTimeFactor);
    std::printf("(%lld frames in %.3f s)\n", static_cast<long long>(result.frames), result.seconds);
    return 0;
}
