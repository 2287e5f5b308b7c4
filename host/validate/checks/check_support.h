// What the validation checks share: reproducible random values, the test input, channel
// buffers sized for an effect, time limits, and the wording of verdicts.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "host/loader/channel_buffers.h"
#include "host/loader/plugin_instance.h"
#include "host/validate/check_status.h"

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

// What the output samples of a stretch of processing held that is worth a warning rather
// than a failure: subnormal numbers, counted with where the first one was.
struct SampleTally {
    std::int64_t samples = 0;     // output samples looked at
    std::int64_t subnormals = 0;  // of them subnormal
    std::string first;            // where the first subnormal was, in words; empty when none

    void add(const SampleTally& other) {
        samples += other.samples;
        subnormals += other.subnormals;
        if (first.empty()) {
            first = other.first;
        }
    }
};

// Output samples over which a share of subnormal numbers counts as sustained, and that share:
// an eighth of the samples of any window of 4096 frames of two channels.
inline constexpr std::int64_t subnormalWindow = 8192;
inline constexpr std::int64_t sustainedSubnormals = subnormalWindow / 8;

// Frames after the end of every channel buffer that hold a canary, so that a plug-in writing
// past the frames of a process call is seen (and lands in memory of the host's) instead of
// corrupting the heap.
inline constexpr std::int32_t guardFrames = 256;

// Channel buffers for one effect, sized for its own input and output counts, each followed by
// guard frames. Used on the thread that processes.
template <typename Sample>
class Channels {
public:
    Channels(const PluginInstance& instance, std::int32_t maxFrames)
        : in_(std::max(1, instance.inputCount()), maxFrames + guardFrames),
          out_(std::max(1, instance.outputCount()), maxFrames + guardFrames),
          outputs_(instance.outputCount()) {}

    // Processing in place: each output that has an input of the same number shares its buffer.
    void shareBuffers() {
        for (int c = 0; c < out_.channels() && c < in_.channels(); ++c) {
            out_.pointAt(c, in_.pointers()[c]);
        }
    }

    // The test input from frame `position` on; silence instead when `silent`.
    void fill(std::int64_t position, std::int32_t frames, bool silent = false) {
        for (int c = 0; c < in_.channels(); ++c) {
            for (std::int32_t k = 0; k < frames; ++k) {
                in_.pointers()[c][k] = silent ? Sample{0} : static_cast<Sample>(testSample(c, position + k));
            }
        }
    }

    // One process call of `frames` frames, with the guard frames after each output armed
    // before and checked after it.
    void process(PluginInstance& instance, std::int32_t frames) {
        for (int c = 0; c < outputs_; ++c) {
            std::fill_n(out_.pointers()[c] + frames, guardFrames, canary());
        }
        instance.process(in_.pointers(), out_.pointers(), frames);
        for (int c = 0; c < outputs_ && overrun_.empty(); ++c) {
            for (std::int32_t k = guardFrames; k > 0; --k) {
                if (!isCanary(out_.pointers()[c][frames + k - 1])) {
                    overrun_ = "wrote " + std::to_string(k) + (k == 1 ? " frame" : " frames") + " past output " +
                               std::to_string(c) + "'s buffer in a process call of " + std::to_string(frames) +
                               " frames (a write outside a buffer)";
                    break;
                }
            }
        }
    }

    // The first write past an output buffer, NaN or infinity among the first `frames` output
    // samples, or a sustained share of subnormal numbers, in words; empty when there is none.
    // Isolated subnormal numbers are counted in tally() instead.
    std::string badSample(std::int32_t frames) {
        if (!overrun_.empty()) {
            return overrun_;
        }
        lastSubnormals_ = 0;
        for (int c = 0; c < outputs_; ++c) {
            for (std::int32_t k = 0; k < frames; ++k) {
                const Sample value = out_.pointers()[c][k];
                if (std::isnan(value)) {
                    return "non-finite output (NaN) in output " + std::to_string(c) + " at frame " + std::to_string(k);
                }
                if (std::isinf(value)) {
                    return "non-finite output (an infinity) in output " + std::to_string(c) + " at frame " +
                           std::to_string(k);
                }
                if (std::fpclassify(value) == FP_SUBNORMAL) {
                    if (tally_.first.empty()) {
                        tally_.first = "output " + std::to_string(c) + " at frame " + std::to_string(k);
                    }
                    ++lastSubnormals_;
                }
            }
        }
        const std::int64_t samples = static_cast<std::int64_t>(frames) * outputs_;
        tally_.samples += samples;
        tally_.subnormals += lastSubnormals_;
        trailingSubnormalBlocks_ = lastSubnormals_ > 0 ? trailingSubnormalBlocks_ + 1 : 0;
        windowSamples_ += samples;
        windowSubnormals_ += lastSubnormals_;
        if (windowSubnormals_ >= sustainedSubnormals) {
            return "sustained subnormal numbers (slow to process): " + std::to_string(windowSubnormals_) + " of " +
                   std::to_string(windowSamples_) + " output samples";
        }
        if (windowSamples_ >= subnormalWindow) {
            windowSamples_ = 0;
            windowSubnormals_ = 0;
        }
        return {};
    }

    // The subnormal numbers badSample() has seen so far; how many the last block held, and
    // how many blocks in a row up to the last one held any.
    const SampleTally& tally() const { return tally_; }
    std::int64_t lastBlockSubnormals() const { return lastSubnormals_; }
    std::int64_t trailingSubnormalBlocks() const { return trailingSubnormalBlocks_; }
    // The first write past an output buffer process() saw; empty when none.
    const std::string& overrun() const { return overrun_; }

    // Appends the first `frames` output samples of every output to `record`.
    void keep(std::vector<std::vector<Sample>>& record, std::int32_t frames) const {
        record.resize(outputs_);
        for (int c = 0; c < outputs_; ++c) {
            record[c].insert(record[c].end(), out_.pointers()[c], out_.pointers()[c] + frames);
        }
    }

private:
    // A signalling NaN of a pattern no arithmetic produces.
    static Sample canary() {
        if constexpr (std::is_same_v<Sample, double>) {
            return bitCast<double>(std::uint64_t{0x7FF4A5A5A5A5A5A5U});
        } else {
            return bitCast<float>(std::uint32_t{0x7FA5A5A5U});
        }
    }
    static bool isCanary(Sample value) {
        const Sample expected = canary();
        return std::memcmp(&value, &expected, sizeof value) == 0;
    }
    template <typename To, typename From>
    static To bitCast(From bits) {
        static_assert(sizeof(To) == sizeof(From));
        To value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    ChannelBuffers<Sample> in_;
    ChannelBuffers<Sample> out_;
    int outputs_;
    std::string overrun_;
    SampleTally tally_;
    std::int64_t lastSubnormals_ = 0;
    std::int64_t trailingSubnormalBlocks_ = 0;
    std::int64_t windowSamples_ = 0;
    std::int64_t windowSubnormals_ = 0;
};

// The verdict on the subnormal numbers of a check whose output was otherwise sound: a pass
// with `passNote` when there were none, else a warning with their count (isolated subnormal
// numbers on a live signal cost little; sustained ones fail where they are seen).
CheckVerdict subnormalVerdict(const SampleTally& tally, const std::string& passNote);

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

// Main thread. A text the plug-in wrote, judged by TextJudge's rule (the one info uses): a
// write outside the buffer is a problem; a text longer than its nominal size that fits a
// host-sized buffer is noted in `longTexts`. `what` names the text ("parameter 3's title").
void judgeText(const TextAnswer& answer, const std::string& what, std::vector<std::string>& problems,
               std::vector<std::string>& longTexts);

// The verdict of texts judged by judgeText(): a failure for problems, a warning naming the
// long texts, else a pass with `passNote`.
CheckVerdict textVerdict(const std::vector<std::string>& problems, const std::vector<std::string>& longTexts,
                         const std::string& passNote);

}  // namespace quorvel::host
