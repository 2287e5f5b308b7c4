// Rendering: audio from a source through an effect into a sink, block by block as a host
// drives an effect, with parameter values written before every block.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/audio/audio_stream.h"
#include "host/loader/param_settings.h"
#include "host/loader/plugin_instance.h"

namespace quorvel::host {

enum class Precision { float32, float64 };

// Ramped parameters are written at least this often, whatever the block size: a block is
// processed in steps of at most this many frames while a ramp moves.
inline constexpr std::int32_t rampStepFrames = 64;

struct RenderSettings {
    Precision precision = Precision::float32;
    std::int32_t blockSize = 512;
    // Written before every block (before every step of rampStepFrames while one ramps), ramps
    // at the step's first frame, over the source's promised frames.
    std::vector<ParamSetting> params;
    // Silent frames processed after the source, so that delays and reverbs ring out.
    std::int64_t tailFrames = 0;
    // Whether the effect's declared latency is compensated: that many extra silent frames are
    // processed and the first that many output frames dropped, so the output lines up with the
    // input.
    bool compensateLatency = true;
    // Told the frames done so far after every block; may be empty. May throw to stop the render.
    std::function<void(std::int64_t)> progress;
};

// What a render wrote, for the summary line.
struct RenderResult {
    std::int64_t framesWritten = 0;
    std::int64_t sourceFramesPromised = 0;  // what the source's header said
    std::int64_t sourceFramesRead = 0;      // what it held
    std::int32_t latency = 0;               // frames of latency compensated
    double peak = 0.0;                      // largest finite magnitude written
    std::int64_t overFullScale = 0;         // samples beyond -1..1, which integer formats clip
    std::int64_t nonFinite = 0;             // NaN and infinite samples written
};

// Sees every processed step: the effect's input and output channels, `frameCount` frames.
class RenderObserver {
public:
    virtual ~RenderObserver() = default;
    virtual void onBlock(const float* const* inputs, int inputCount, const float* const* outputs, int outputCount,
                         std::int32_t frameCount) = 0;
    virtual void onBlock(const double* const* inputs, int inputCount, const double* const* outputs, int outputCount,
                         std::int32_t frameCount) = 0;
};

// Which channel of a `fileChannels`-channel source feeds effect input `input`: a mono source
// feeds every input, otherwise input k takes channel k; -1 for silence.
int sourceChannelFor(int input, int fileChannels);

// Main thread. The one preparation of an opened instance for processing: checks that it has
// outputs and processes `precision` (throws HostError saying what is missing), tells it the
// sample rate and the block size and activates it.
void prepareForProcessing(PluginInstance& instance, float sampleRate, std::int32_t blockSize, Precision precision);

// Audio work on the calling thread. Processes all of `source`, then the tail, through the
// instance prepared by prepareForProcessing() into `sink` (which takes the effect's
// outputCount() channels) and answers what was written. Notes each block's progress for the
// supervisor.
RenderResult renderAudio(PluginInstance& instance, AudioSource& source, AudioSink& sink, const RenderSettings& settings,
                         RenderObserver* observer = nullptr);

}  // namespace quorvel::host
