// Rendering: audio from a source through an effect into a sink, block by block as a host
// drives an effect, with parameter values written before every block.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/audio_stream.h"
#include "host/param_settings.h"
#include "host/plugin_instance.h"

enum class Precision { float32, float64 };

struct RenderSettings {
    Precision precision = Precision::float32;
    std::int32_t blockSize = 512;
    // Written before every block, ramps at the block's first frame.
    std::vector<ParamSetting> params;
    // Told the frames done so far after every block; may be empty.
    std::function<void(std::int64_t)> progress;
};

// Sees every processed block: the effect's input and output channels, `frameCount` frames.
class RenderObserver {
public:
    virtual ~RenderObserver() = default;
    virtual void onBlock(const float* const* inputs, int inputCount, const float* const* outputs, int outputCount,
                         std::int32_t frameCount) = 0;
    virtual void onBlock(const double* const* inputs, int inputCount, const double* const* outputs,
                         int outputCount, std::int32_t frameCount) = 0;
};

// Which channel of a `fileChannels`-channel source feeds effect input `input`: a mono source
// feeds every input, otherwise input k takes channel k; -1 for silence.
int sourceChannelFor(int input, int fileChannels);

// Main thread. Opens `instance`, tells it the sample rate and block size and activates it.
void prepareForRender(PluginInstance& instance, float sampleRate, std::int32_t blockSize);

// Audio work on the calling thread. Processes all of `source` through the prepared
// `instance` into `sink` (which takes the effect's outputCount() channels) and answers the
// frames rendered. Throws HostError when the effect cannot process the precision asked for.
std::int64_t renderAudio(PluginInstance& instance, AudioSource& source, AudioSink& sink,
                         const RenderSettings& settings, RenderObserver* observer = nullptr);
