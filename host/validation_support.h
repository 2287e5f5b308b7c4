// What the validation checks share: reproducible random values, the test input, channel
// buffers sized for an effect, time limits, and the wording of verdicts.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "host/check_status.h"
#include "host/plugin_instance.h"

namespace quorvel::host {

// A small generator (xorshift32), so that one seed always drives the same values.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed == 0 ? 0x9E3779B9U : seed) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // A value in 0..1 with 24 significant bits.
    float unit() { return static_cast<float>(next() >> 8) / 16777215.0F; }
    // A value in 0..bound-1.
    std::int32_t below(std::int32_t bound) {
        return static_cast<std::int32_t>(next() % static_cast<std::uint32_t>(bound));
    }
    // A parameter value: 0, 1 or one next to them a quarter of the time each, else any in 0..1.
    float paramValue();

private:
    std::uint32_t state_;
};

// The seed of one check, derived from the run's seed and the check's name.
std::uint32_t checkSeed(std::uint32_t seed, const std::string& name);

// A time limit measured from construction, for checks bounded in time rather than in count.
class Deadline {
public:
    explicit Deadline(double seconds)
        : end_(std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      std::chrono::duration<double>(seconds))) {}
    bool passed() const { return std::chrono::steady_clock::now() >= end_; }

private:
    std::chrono::steady_clock::time_point end_;
};

// How long the checks bounded in time run: open/close cycles, automation, threaded writes.
inline constexpr double busySeconds = 1.5;

// The input every processing check feeds: a tone per channel with some noise, and a stretch
// of silence, at half of full scale.
double testSample(int channel, std::int64_t frame);

// Channel buffers for one effect, sized for its own input and output counts.
template <typename Sample>
class Channels {
public:
    Channels(const PluginInstance& instance, std::int32_t maxFrames)
        : in_(std::max(1, instance.inputCount()), std::vector<Sample>(maxFrames)),
          out_(std::max(1, instance.outputCount()), std::vector<Sample>(maxFrames)),
          outputs_(instance.outputCount()) {
        for (auto& channel : in_) {
            inPointers_.push_back(channel.data());
        }
        for (auto& channel : out_) {
            outPointers_.push_back(channel.data());
        }
    }

    // Processing in place: each output that has an input of the same number shares its buffer.
    void shareBuffers() {
        for (std::size_t c = 0; c < outPointers_.size() && c < inPointers_.size(); ++c) {
            outPointers_[c] = inPointers_[c];
        }
    }

    // The test input from frame `position` on; silence instead when `silent`.
    void fill(std::int64_t position, std::int32_t frames, bool silent = false) {
        for (std::size_t c = 0; c < in_.size(); ++c) {
            for (std::int32_t k = 0; k < frames; ++k) {
                inPointers_[c][k] =
                    silent ? Sample{0} : static_cast<Sample>(testSample(static_cast<int>(c), position + k));
            }
        }
    }

    void process(PluginInstance& instance, std::int32_t frames) {
        instance.process(inPointers_.data(), outPointers_.data(), frames);
    }

    // The first NaN, infinity or subnormal among the first `frames` output samples, in words;
    // empty when there is none.
    std::string badSample(std::int32_t frames) const {
        for (int c = 0; c < outputs_; ++c) {
            for (std::int32_t k = 0; k < frames; ++k) {
                const Sample value = outPointers_[c][k];
                const char* what = std::isnan(value)                        ? "non-finite output (NaN)"
                                   : std::isinf(value)                      ? "non-finite output (an infinity)"
                                   : std::fpclassify(value) == FP_SUBNORMAL ? "a subnormal number (slow to process)"
                                                                            : nullptr;
                if (what != nullptr) {
                    return std::string(what) + " in output " + std::to_string(c) + " at frame " + std::to_string(k);
                }
            }
        }
        return {};
    }

    // Appends the first `frames` output samples of every output to `record`.
    void keep(std::vector<std::vector<Sample>>& record, std::int32_t frames) const {
        record.resize(outputs_);
        for (int c = 0; c < outputs_; ++c) {
            record[c].insert(record[c].end(), outPointers_[c], outPointers_[c] + frames);
        }
    }

private:
    std::vector<std::vector<Sample>> in_;
    std::vector<std::vector<Sample>> out_;
    std::vector<Sample*> inPointers_;
    std::vector<Sample*> outPointers_;
    int outputs_;
};

inline CheckVerdict pass(std::string detail = {}) {
    return {CheckStatus::pass, std::move(detail)};
}
inline CheckVerdict warn(std::string detail) {
    return {CheckStatus::warn, std::move(detail)};
}
inline CheckVerdict fail(std::string detail) {
    return {CheckStatus::fail, std::move(detail)};
}
inline CheckVerdict skip(std::string detail) {
    return {CheckStatus::skip, std::move(detail)};
}

template <typename Sample>
bool supports(const PluginInstance& instance) {
    return std::is_same_v<Sample, double> ? instance.canProcessDouble() : instance.canProcessFloat();
}

template <typename Sample>
const char* precisionName() {
    return std::is_same_v<Sample, double> ? "64-bit" : "32-bit";
}

// Joins the first few problems into one line, saying how many more there were.
std::string summarise(const std::vector<std::string>& problems, std::size_t shown = 3);

// A parameter value with every digit that tells it apart from its neighbours ("0.25", "0.74999994").
std::string valueText(float value);

// "44100 Hz, blocks of 512": a setting, for progress notes and verdicts.
std::string settingText(float sampleRate, std::int32_t blockSize);

// Main thread. Drives `instance` to processing as a careful host does: open, sample rate
// and block size, activation; the profile's text buffers for later text requests.
void prepareInstance(PluginInstance& instance, ValidationProfile profile, float sampleRate, std::int32_t blockSize);

// Main thread. A text the plug-in wrote, judged by the instance's text buffers: a write past
// the buffer or a missing zero is a problem; a text longer than its nominal size that fits a
// host-sized buffer is noted in `longTexts`. `what` names the text ("parameter 3's title").
void judgeText(const TextAnswer& answer, const std::string& what, std::vector<std::string>& problems,
               std::vector<std::string>& longTexts);

// The verdict of texts judged by judgeText(): a failure for problems, a warning naming the
// long texts, else a pass with `passNote`.
CheckVerdict textVerdict(const std::vector<std::string>& problems, const std::vector<std::string>& longTexts,
                         const std::string& passNote);

}  // namespace quorvel::host
