#include "host/render.h"

#include <algorithm>
#include <string>

namespace {

template <typename Sample>
std::int64_t renderWith(PluginInstance& instance, AudioSource& source, AudioSink& sink,
                        const RenderSettings& settings, RenderObserver* observer) {
    const std::int32_t block = settings.blockSize;
    const int fileChannels = source.channels();
    const int inputs = instance.inputCount();
    const int outputs = instance.outputCount();
    const std::int64_t total = source.frames();

    std::vector<Sample> fileFrames(static_cast<std::size_t>(block) * fileChannels);
    std::vector<std::vector<Sample>> in(inputs, std::vector<Sample>(block));
    std::vector<std::vector<Sample>> out(outputs, std::vector<Sample>(block));
    std::vector<Sample> outFrames(static_cast<std::size_t>(block) * outputs);
    std::vector<Sample*> inPointers, outPointers;
    for (auto& channel : in) {
        inPointers.push_back(channel.data());
    }
    for (auto& channel : out) {
        outPointers.push_back(channel.data());
    }

    std::int64_t done = 0;
    for (;;) {
        const auto n = static_cast<std::int32_t>(source.read(fileFrames.data(), block));
        if (n <= 0) {
            break;
        }
        for (int c = 0; c < inputs; ++c) {
            const int from = sourceChannelFor(c, fileChannels);
            for (std::int32_t k = 0; k < n; ++k) {
                in[c][k] = from < 0 ? Sample{0} : fileFrames[static_cast<std::size_t>(k) * fileChannels + from];
            }
        }
        applyParamSettings(settings.params, instance, done, total);
        instance.process(inPointers.data(), outPointers.data(), n);
        for (std::int32_t k = 0; k < n; ++k) {
            for (int c = 0; c < outputs; ++c) {
                outFrames[static_cast<std::size_t>(k) * outputs + c] = out[c][k];
            }
        }
        sink.write(outFrames.data(), n);
        if (observer != nullptr) {
            observer->onBlock(inPointers.data(), inputs, outPointers.data(), outputs, n);
        }
        done += n;
        if (settings.progress) {
            settings.progress(done);
        }
    }
    return done;
}

}  // namespace

int sourceChannelFor(int input, int fileChannels) {
    if (fileChannels == 1) {
        return 0;
    }
    return input < fileChannels ? input : -1;
}

void prepareForRender(PluginInstance& instance, float sampleRate, std::int32_t blockSize) {
    instance.open();
    instance.configure(sampleRate, blockSize);
    instance.setActive(true);
}

std::int64_t renderAudio(PluginInstance& instance, AudioSource& source, AudioSink& sink,
                         const RenderSettings& settings, RenderObserver* observer) {
    if (settings.blockSize < 1) {
        throw HostError("the block size must be at least 1");
    }
    if (instance.outputCount() < 1) {
        throw HostError("the plug-in has no outputs");
    }
    if (settings.precision == Precision::float64) {
        if (!instance.canProcessDouble()) {
            throw HostError("the plug-in does not process 64-bit samples");
        }
        return renderWith<double>(instance, source, sink, settings, observer);
    }
    if (!instance.canProcessFloat()) {
        throw HostError("the plug-in does not process 32-bit samples");
    }
    return renderWith<float>(instance, source, sink, settings, observer);
}
