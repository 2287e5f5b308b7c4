#include "host/plot/waveform_plot.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif
#include <cerrno>
#include <cstring>

#include "host/loader/usage_error.h"
#include "host/plot/subprocess.h"

namespace quorvel::host {

WaveformSummary::WaveformSummary(std::int64_t totalFrames, double sampleRate, int columns, std::int64_t outputLatency)
    : sampleRate_(sampleRate),
      totalFrames_(totalFrames),
      framesPerColumn_(std::max<std::int64_t>(1, (std::max<std::int64_t>(totalFrames, 1) + columns - 1) / columns)),
      closeUpStart_(totalFrames / 2),
      // At least two frames, so that even a file at a very low rate has a line to draw.
      closeUpLength_(std::max<std::int64_t>(2, static_cast<std::int64_t>(sampleRate * 0.03))),
      outputPosition_(-std::max<std::int64_t>(0, outputLatency)) {
    // A close-up that would run past the end starts earlier, and one longer than the whole
    // stops at its end.
    closeUpStart_ = std::max<std::int64_t>(0, std::min(closeUpStart_, totalFrames - closeUpLength_));
    closeUpLength_ = std::max<std::int64_t>(0, std::min(closeUpLength_, totalFrames - closeUpStart_));
    closeUp_.assign(static_cast<std::size_t>(closeUpLength_) * traces, std::numeric_limits<double>::quiet_NaN());
}

template <typename Sample>
void WaveformSummary::addTraces(int first, const Sample* const* channels, int channelCount, std::int32_t frameCount,
                                std::int64_t& position) {
    const Sample* pair[2] = {channelCount > 0 ? channels[0] : nullptr, channelCount > 1 ? channels[1] : nullptr};
    for (std::int32_t k = 0; k < frameCount; ++k, ++position) {
        if (position < 0 || position >= totalFrames_) {
            continue;
        }
        const auto index = static_cast<std::size_t>(position / framesPerColumn_);
        if (index >= columns_.size()) {
            columns_.resize(index + 1);
        }
        Column& column = columns_[index];
        for (int side = 0; side < 2; ++side) {
            const int t = first + side;
            const double value =
                pair[side] != nullptr ? static_cast<double>(pair[side][k]) : std::numeric_limits<double>::quiet_NaN();
            if (!column.seen[t]) {
                column.low[t] = column.high[t] = value;
                column.seen[t] = true;
            } else {
                column.low[t] = std::min(column.low[t], value);
                column.high[t] = std::max(column.high[t], value);
            }
            if (std::isfinite(value)) {
                peak_ = std::max(peak_, std::abs(value));
            }
            if (position >= closeUpStart_ && position < closeUpStart_ + closeUpLength_) {
                closeUp_[static_cast<std::size_t>(position - closeUpStart_) * traces + t] = value;
            }
        }
    }
}

void WaveformSummary::onBlock(const float* const* inputs, int inputCount, const float* const* outputs, int outputCount,
                              std::int32_t frameCount) {
    addTraces(0, inputs, inputCount, frameCount, inputPosition_);
    addTraces(2, outputs, outputCount, frameCount, outputPosition_);
}

void WaveformSummary::onBlock(const double* const* inputs, int inputCount, const double* const* outputs,
                              int outputCount, std::int32_t frameCount) {
    addTraces(0, inputs, inputCount, frameCount, inputPosition_);
    addTraces(2, outputs, outputCount, frameCount, outputPosition_);
}

std::string WaveformSummary::dataLines() const {
    std::string lines;
    char line[256];
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        const Column& column = columns_[c];
        const double seconds = static_cast<double>(c) * static_cast<double>(framesPerColumn_) / sampleRate_;
        std::snprintf(line, sizeof line, "%.6f %.6g %.6g %.6g %.6g %.6g %.6g %.6g %.6g\n", seconds, column.low[0],
                      column.high[0], column.low[1], column.high[1], column.low[2], column.high[2], column.low[3],
                      column.high[3]);
        lines += line;
    }
    return lines;
}

std::string WaveformSummary::closeUpLines() const {
    std::string lines;
    char line[256];
    // Only frames drawn on both sides: a render that ended early leaves the rest out.
    const auto drawn = static_cast<std::size_t>(std::clamp<std::int64_t>(frames() - closeUpStart_, 0, closeUpLength_));
    for (std::size_t k = 0; k < drawn * traces; k += traces) {
        const double milliseconds =
            1000.0 * static_cast<double>(closeUpStart_ + static_cast<std::int64_t>(k / traces)) / sampleRate_;
        std::snprintf(line, sizeof line, "%.4f %.6g %.6g %.6g %.6g\n", milliseconds, closeUp_[k], closeUp_[k + 1],
                      closeUp_[k + 2], closeUp_[k + 3]);
        lines += line;
    }
    return lines;
}

namespace {

// A text as a gnuplot single-quoted string. Only printable ASCII is kept (anything else, a
// newline included, becomes '?'), and a quote inside is written twice: whatever the text
// holds, it stays one string of the script.
std::string quoted(const std::string& text) {
    std::string result = "'";
    for (const char c : text) {
        const bool printable = c >= ' ' && c <= '~';
        result += printable ? c : '?';
        if (c == '\'') {
            result += '\'';
        }
    }
    return result + "'";
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Writes `bytes` into the existing file `path`, replacing what it holds; throws HostError on any
// failure (a full disk among them).
void writeInto(const std::string& path, const std::string& bytes) {
#if defined(_WIN32)
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw HostError("cannot write the plot to '" + path + "'");
    }
#else
    const int file = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    if (file < 0) {
        throw HostError("cannot write the plot: " + std::string(std::strerror(errno)));
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(file, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            const int reason = wrote < 0 ? errno : ENOSPC;
            close(file);
            throw HostError("cannot write the plot: " + std::string(std::strerror(reason)));
        }
        done += static_cast<std::size_t>(wrote);
    }
    if (close(file) != 0) {
        throw HostError("cannot write the plot: " + std::string(std::strerror(errno)));
    }
#endif
}

}  // namespace

PictureFormat pictureFormatFor(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") {
        return PictureFormat::png;
    }
    if (extension == ".svg") {
        return PictureFormat::svg;
    }
    if (extension == ".pdf") {
        return PictureFormat::pdf;
    }
    throw UsageError("--plot '" + path + "' names no picture format this tool draws (.png, .svg, .pdf)");
}

void plotWaveforms(const WaveformSummary& summary, const std::string& title, const std::string& path,
                   PictureFormat format) {
    if (summary.frames() < 2) {
        throw HostError("--plot has nothing to draw: the rendered audio has " + std::to_string(summary.frames()) +
                        (summary.frames() == 1 ? " frame" : " frames"));
    }
    const double peak = summary.peak() > 0.0 ? summary.peak() * 1.05 : 1.0;
    const std::string range = "[" + std::to_string(-peak) + ":" + std::to_string(peak) + "]";
    std::string script = "$waves << EOD\n" + summary.dataLines() + "EOD\n";
    script += "$closeup << EOD\n" + summary.closeUpLines() + "EOD\n";
    const char* terminals[] = {"pngcairo size 1400,1100", "svg size 1400,1100 dynamic", "pdfcairo size 14in,11in"};
    script += std::string("set terminal ") + terminals[static_cast<int>(format)] + " noenhanced font 'sans,11'\n";
    // No name: the picture comes back through gnuplot's standard output.
    script += "set output\n";
    script += "set multiplot title " + quoted(title) + "\n";
    script += "set grid\nset key top right\nset yrange " + range + "\n";
    script += "set style fill transparent solid 0.55 noborder\n";
    const char* sides[2] = {"left", "right"};
    // The whole file, one side per row: the band between each column's lowest and highest.
    script += "set xlabel 'time (s)'\nset size 1,0.33\n";
    for (int side = 0; side < 2; ++side) {
        const int in = 2 + 2 * side;  // data columns of the input's low and high
        const int out = 6 + 2 * side;
        script += std::string("set origin 0,") + (side == 0 ? "0.64" : "0.31") + "\n";
        script += std::string("set ylabel '") + sides[side] + "'\n";
        script += "plot $waves using 1:" + std::to_string(in) + ":" + std::to_string(in + 1) +
                  " with filledcurves lc rgb '#3182bd' title 'input', $waves using 1:" + std::to_string(out) + ":" +
                  std::to_string(out + 1) + " with filledcurves lc rgb '#e6550d' title 'output'\n";
    }
    // The close-ups side by side, sample by sample.
    script += "set xlabel 'time (ms)'\nset size 0.5,0.30\n";
    for (int side = 0; side < 2; ++side) {
        script += std::string("set origin ") + (side == 0 ? "0" : "0.5") + ",0\n";
        script += std::string("set ylabel '") + sides[side] + ", close-up'\n";
        script += "plot $closeup using 1:" + std::to_string(2 + side) +
                  " with lines lw 1.5 lc rgb '#3182bd' title 'input', $closeup using 1:" + std::to_string(4 + side) +
                  " with lines lw 1.5 lc rgb '#e6550d' title 'output'\n";
    }
    script += "unset multiplot\n";

    const ProgramResult result = runProgram("gnuplot", {}, script);
    if (!result.started) {
        throw HostError("cannot run gnuplot for --plot: " + result.errorOutput +
                        " (install gnuplot, e.g. Debian's gnuplot-nox)");
    }
    if (result.exitCode != 0) {
        std::string reason = result.errorOutput;
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
            reason.pop_back();
        }
        reason = reason.substr(reason.find_last_of('\n') + 1);
        throw HostError("gnuplot could not draw the plot: " + (reason.empty() ? "it failed" : reason));
    }
    // gnuplot's exit status does not tell a picture cut short: the bytes themselves are checked.
    if (const std::string problem = pictureProblem(result.output, format); !problem.empty()) {
        throw HostError("gnuplot could not draw the plot: " + problem);
    }
    writeInto(path, result.output);
}

std::string pictureProblem(const std::string& bytes, PictureFormat format) {
    switch (format) {
    case PictureFormat::png: {
        static const std::string signature("\x89PNG\r\n\x1a\n", 8);
        // The last chunk: zero length, "IEND", and its fixed checksum.
        static const std::string end("\0\0\0\0IEND\xae\x42\x60\x82", 12);
        if (bytes.compare(0, signature.size(), signature) != 0) {
            return "no PNG signature";
        }
        return endsWith(bytes, end) ? "" : "the PNG picture ends before its closing IEND chunk";
    }
    case PictureFormat::svg: {
        std::string trimmed = bytes;
        while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) {
            trimmed.pop_back();
        }
        if (trimmed.find("<svg") == std::string::npos) {
            return "no svg element";
        }
        return endsWith(trimmed, "</svg>") ? "" : "the SVG picture ends before its closing </svg>";
    }
    case PictureFormat::pdf: {
        if (bytes.compare(0, 5, "%PDF-") != 0) {
            return "no PDF header";
        }
        const std::size_t marker = bytes.rfind("%%EOF");
        return marker != std::string::npos && bytes.size() - marker <= 8 ? "" : "the PDF ends before its %%EOF marker";
    }
    }
    return "an unknown picture format";
}

std::string pictureFileProblem(const std::string& path, PictureFormat format) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return file.bad() ? "it cannot be read back" : pictureProblem(bytes.str(), format);
}

}  // namespace quorvel::host
