#include "host/render/throughput.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "host/loader/channel_buffers.h"
#include "host/supervision/isolation.h"

namespace quorvel::host {

namespace {

template <typename Sample>
Throughput measure(PluginInstance& instance, std::int32_t blockSize, float sampleRate,
                   const std::vector<ParamSetting>& params, double minSeconds) {
    ChannelBuffers<Sample> in(std::max(1, instance.inputCount()), blockSize);
    ChannelBuffers<Sample> out(std::max(1, instance.outputCount()), blockSize);
    std::uint32_t seed = 1;
    for (int c = 0; c < in.channels(); ++c) {
        for (std::int32_t k = 0; k < blockSize; ++k) {
            seed = seed * 1664525U + 1013904223U;
            in.buffer(c)[k] = static_cast<Sample>(static_cast<double>(seed >> 8) / 16777216.0 - 0.5);
        }
    }

    // The clock is read once per 64 blocks, so that even one-frame blocks are timed with
    // little overhead of their own.
    using Clock = std::chrono::steady_clock;
    Throughput result;
    const Clock::time_point start = Clock::now();
    do {
        noteCheckProgress("block " + std::to_string(result.frames / blockSize));
        for (int k = 0; k < 64; ++k) {
            applyParamSettings(params, instance, result.frames, 0);
            instance.process(in.pointers(), out.pointers(), blockSize);
            result.frames += blockSize;
        }
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (result.seconds < minSeconds);
    result.framesPerSecond = result.seconds > 0.0 ? static_cast<double>(result.frames) / result.seconds : 0.0;
    result.realTimeFactor = result.framesPerSecond / sampleRate;
    return result;
}

}  // namespace

Throughput measureThroughput(PluginInstance& instance, Precision precision, std::int32_t blockSize, float sampleRate,
                             const std::vector<ParamSetting>& params, double minSeconds) {
    return precision == Precision::float64 ? measure<double>(instance, blockSize, sampleRate, params, minSeconds)
                                           : measure<float>(instance, blockSize, sampleRate, params, minSeconds);
}

}  // namespace quorvel::host
