// Input and output waveforms of both sides, summarised while rendering and drawn to a PNG
// by gnuplot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/render.h"

class WaveformSummary : public RenderObserver {
public:
    // `totalFrames` frames are expected, summarised into at most `columns` columns, each
    // holding the lowest and highest sample of its frames.
    explicit WaveformSummary(std::int64_t totalFrames, int columns = 2000);

    void onBlock(const float* const* inputs, int inputCount, const float* const* outputs, int outputCount,
                 std::int32_t frameCount) override;
    void onBlock(const double* const* inputs, int inputCount, const double* const* outputs, int outputCount,
                 std::int32_t frameCount) override;

    // The summary as gnuplot data lines: first frame of the column, then lowest and highest
    // of input left, input right, output left, output right (NaN where a channel is absent).
    std::string dataLines(double sampleRate) const;
    // The largest magnitude seen in any channel.
    double peak() const { return peak_; }

private:
    static constexpr int traces = 4;  // input left, input right, output left, output right
    struct Column {
        double low[traces];
        double high[traces];
        bool seen = false;
    };
    template <typename Sample>
    void add(const Sample* const* inputs, int inputCount, const Sample* const* outputs, int outputCount,
             std::int32_t frameCount);

    std::int64_t framesPerColumn_;
    std::int64_t position_ = 0;
    std::vector<Column> columns_;
    double peak_ = 0.0;
};

// Main thread. Draws `summary` to the PNG file `path` with gnuplot, two panels (left and
// right side), input and output overlaid. Throws HostError when gnuplot cannot be run or fails.
void plotWaveforms(const WaveformSummary& summary, double sampleRate, const std::string& title,
                   const std::string& path);
