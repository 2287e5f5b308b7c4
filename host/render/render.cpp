#include "host/render/render.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "host/loader/channel_buffers.h"
#include "host/supervision/isolation.h"

namespace quorvel::host {

namespace {

template <typename Sample>
void measure(RenderResult& result, const Sample* samples, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const double value = static_cast<double>(samples[k]);
        if (!std::isfinite(value)) {
            ++result.nonFinite;
            continue;
        }
        const double magnitude = std::abs(value);
        result.peak = std::max(result.peak, magnitude);
        if (magnitude > 1.0) {
            ++result.overFullScale;
        }
    }
}

template <typename Sample>
RenderResult renderWith(PluginInstance& instance, AudioSource& source, AudioSink& sink, const RenderSettings& settings,
                        RenderObserver* observer) {
    const std::int32_t block = settings.blockSize;
    const bool ramping = std::any_of(settings.params.begin(), settings.params.end(),
                                     [](const ParamSetting& setting) { return setting.from != setting.to; });
    const std::int32_t step = ramping ? std::min(block, rampStepFrames) : block;
    const int fileChannels = source.channels();
    const int inputs = instance.inputCount();
    const int outputs = instance.outputCount();

    RenderResult result;
    result.sourceFramesPromised = source.promisedFrames();
    result.latency = settings.compensateLatency ? std::max<std::int32_t>(0, instance.record().latency) : 0;
    std::int64_t silenceLeft = settings.tailFrames + result.latency;
    std::int64_t discardLeft = result.latency;
    const std::int64_t rampFrames = source.frames();

    std::vector<Sample> fileFrames(static_cast<std::size_t>(block) * fileChannels);
    ChannelBuffers<Sample> in(inputs, block);
    ChannelBuffers<Sample> out(outputs, block);
    std::vector<Sample> outFrames(static_cast<std::size_t>(block) * outputs);

    bool sourceEnded = false;
    std::int64_t done = 0;  // frames processed
    std::int64_t blockNumber = 0;
    for (;;) {
        std::int32_t n = 0;
        if (!sourceEnded) {
            n = static_cast<std::int32_t>(source.read(fileFrames.data(), block));
            if (n <= 0) {
                sourceEnded = true;
                n = 0;
            }
            result.sourceFramesRead += n;
        }
        if (sourceEnded) {
            n = static_cast<std::int32_t>(std::min<std::int64_t>(block, silenceLeft));
            if (n == 0) {
                break;
            }
            silenceLeft -= n;
        }
        for (int c = 0; c < inputs; ++c) {
            const int from = sourceChannelFor(c, fileChannels);
            for (std::int32_t k = 0; k < n; ++k) {
                in.buffer(c)[k] =
                    from < 0 || sourceEnded ? Sample{0} : fileFrames[static_cast<std::size_t>(k) * fileChannels + from];
            }
        }
        noteCheckProgress("block " + std::to_string(blockNumber));
        for (std::int32_t offset = 0; offset < n; offset += step) {
            const std::int32_t frames = std::min(step, n - offset);
            in.pointAt(offset);
            out.pointAt(offset);
            applyParamSettings(settings.params, instance, done + offset, rampFrames);
            instance.process(in.pointers(), out.pointers(), frames);
            if (observer != nullptr) {
                observer->onBlock(in.pointers(), inputs, out.pointers(), outputs, frames);
            }
        }
        const std::int32_t skip = static_cast<std::int32_t>(std::min<std::int64_t>(discardLeft, n));
        discardLeft -= skip;
        for (std::int32_t k = skip; k < n; ++k) {
            for (int c = 0; c < outputs; ++c) {
                outFrames[static_cast<std::size_t>(k - skip) * outputs + c] = out.buffer(c)[k];
            }
        }
        const std::size_t written = static_cast<std::size_t>(n - skip) * static_cast<std::size_t>(outputs);
        measure(result, outFrames.data(), written);
        sink.write(outFrames.data(), n - skip);
        result.framesWritten += n - skip;
        done += n;
        ++blockNumber;
        if (settings.progress) {
            settings.progress(done);
        }
    }
    return result;
}

void requirePrecision(const PluginInstance& instance, Precision precision) {
    if (instance.outputCount() < 1) {
        throw HostError("the plug-in has no outputs");
    }
    if (precision == Precision::float64 ? !instance.canProcessDouble() : !instance.canProcessFloat()) {
        throw HostError(std::string("the plug-in does not process ") + (precision == Precision::float64 ? "64" : "32") +
                        "-bit samples");
    }
}

}  // namespace

int sourceChannelFor(int input, int fileChannels) {
    if (fileChannels == 1) {
        return 0;
    }
    return input < fileChannels ? input : -1;
}

void prepareForProcessing(PluginInstance& instance, float sampleRate, std::int32_t blockSize, Precision precision) {
    if (blockSize < 1) {
        throw HostError("the block size must be at least 1");
    }
    requirePrecision(instance, precision);
    instance.configure(sampleRate, blockSize);
    instance.setActive(true);
}

RenderResult renderAudio(PluginInstance& instance, AudioSource& source, AudioSink& sink, const RenderSettings& settings,
                         RenderObserver* observer) {
    if (settings.blockSize < 1) {
        throw HostError("the block size must be at least 1");
    }
    requirePrecision(instance, settings.precision);
    return settings.precision == Precision::float64 ? renderWith<double>(instance, source, sink, settings, observer)
                                                    : renderWith<float>(instance, source, sink, settings, observer);
}

}  // namespace quorvel::host
