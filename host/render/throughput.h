// The bench command's measurement: how many frames per second an effect processes, and how
// many times faster than real time that is.
#pragma once

#include <cstdint>
#include <vector>

#include "host/loader/param_settings.h"
#include "host/loader/plugin_instance.h"
#include "host/render/render.h"

namespace quorvel::host {

struct Throughput {
    std::int64_t frames = 0;
    double seconds = 0.0;
    double framesPerSecond = 0.0;
    double realTimeFactor = 0.0;  // framesPerSecond / sample rate
};

// Main thread. Processes a noise signal through the `instance` prepared by
// prepareForProcessing() for `precision` in blocks of
// `blockSize` frames, 64 blocks at a time, until at least `minSeconds` have passed, with
// `params` written before every block.
Throughput measureThroughput(PluginInstance& instance, Precision precision, std::int32_t blockSize, float sampleRate,
                             const std::vector<ParamSetting>& params, double minSeconds);

}  // namespace quorvel::host
