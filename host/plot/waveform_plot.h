// Input and output waveforms of both sides, summarised while rendering and drawn to a PNG,
// SVG or PDF picture by gnuplot.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "host/render/render.h"

namespace quorvel::host {

class WaveformSummary : public RenderObserver {
public:
    // `totalFrames` frames at `sampleRate` are expected, summarised into at most `columns`
    // columns, each holding the lowest and highest sample of its frames. The 30 ms from the
    // middle on are also kept sample by sample, for a close-up. An effect with `outputLatency`
    // frames of latency is drawn aligned: its first `outputLatency` output frames are dropped,
    // so that each output frame sits at the time of the input frame it answers, and frames
    // past `totalFrames` (the silence that pushes the last ones out) are not drawn.
    WaveformSummary(std::int64_t totalFrames, double sampleRate, int columns = 1200, std::int64_t outputLatency = 0);

    void onBlock(const float* const* inputs, int inputCount, const float* const* outputs, int outputCount,
                 std::int32_t frameCount) override;
    void onBlock(const double* const* inputs, int inputCount, const double* const* outputs, int outputCount,
                 std::int32_t frameCount) override;

    // The summary as gnuplot data lines: the column's time in seconds, then lowest and
    // highest of input left, input right, output left, output right (NaN where a channel is
    // absent).
    std::string dataLines() const;
    // The close-up as gnuplot data lines: time in milliseconds, then input left, input right,
    // output left, output right.
    std::string closeUpLines() const;
    // The largest magnitude seen in any channel.
    double peak() const { return peak_; }
    // Frames summarised so far: those with both input and output drawn.
    std::int64_t frames() const { return std::max<std::int64_t>(0, std::min(inputPosition_, outputPosition_)); }

private:
    static constexpr int traces = 4;  // input left, input right, output left, output right
    struct Column {
        static constexpr double none = std::numeric_limits<double>::quiet_NaN();
        double low[traces] = {none, none, none, none};  // NaN where a trace has no frame here
        double high[traces] = {none, none, none, none};
        bool seen[traces]{};
    };
    // Adds `frameCount` frames of `channels` (nullptr: absent) to traces `first` and
    // `first + 1`, starting at frame `position` (negative frames are not drawn), and moves
    // `position` on.
    template <typename Sample>
    void addTraces(int first, const Sample* const* channels, int channelCount, std::int32_t frameCount,
                   std::int64_t& position);

    double sampleRate_;
    std::int64_t totalFrames_;
    std::int64_t framesPerColumn_;
    std::int64_t closeUpStart_;
    std::int64_t closeUpLength_;
    std::int64_t inputPosition_ = 0;
    std::int64_t outputPosition_;  // starts at minus the latency
    std::vector<Column> columns_;
    std::vector<double> closeUp_;  // traces values per frame, NaN until drawn
    double peak_ = 0.0;
};

// The picture formats --plot draws.
enum class PictureFormat { png, svg, pdf };

// The picture format the extension of `path` names (.png, .svg, .pdf, case ignored); throws
// UsageError for any other.
PictureFormat pictureFormatFor(const std::string& path);

// Main thread. Draws `summary` in `format` with gnuplot: the whole of each side (left above
// right), input and output overlaid, and below them a close-up of each side. gnuplot gets its
// script through a pipe and draws to its standard output; the title keeps printable ASCII
// only, so no text from the user or the plug-in can change the script. The picture is checked
// to be complete, then written to `path`, an existing file of the tool's own (a temporary
// output), which is never created here. Throws HostError when there is nothing to draw (no
// frames), gnuplot cannot be run, fails or draws an incomplete picture, or writing fails.
void plotWaveforms(const WaveformSummary& summary, const std::string& title, const std::string& path,
                   PictureFormat format);

// Why `bytes` are not a complete picture in `format` (PNG: the signature and the closing IEND
// chunk; SVG: the svg element opened and closed; PDF: the header and the end-of-file marker), or
// an empty text when they are.
std::string pictureProblem(const std::string& bytes, PictureFormat format);

// Main thread. pictureProblem() of the file at `path` as it is stored.
std::string pictureFileProblem(const std::string& path, PictureFormat format);

}  // namespace quorvel::host
