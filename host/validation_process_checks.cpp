// Checks of processing: both precisions at several settings, silence, changes of settings
// between activations, suspend and resume, block splits, in-place buffers and allocation.
#include <cstring>

#include "framework/request_codes.h"
#include "host/allocation_probe.h"
#include "host/check_isolation.h"
#include "host/validation_checks.h"
#include "host/validation_support.h"

namespace quorvel::host {

namespace {

constexpr float sampleRates[] = {44100.0F, 48000.0F, 96000.0F};
constexpr std::int32_t blockSizes[] = {1, 32, 512, 4096};

// Processes `total` frames in blocks of `block` through a prepared effect; random parameter
// values from half-way on when `random` is given. Answers the first bad sample, in words with
// the frame and `setting`; empty when all are sound.
template <typename Sample>
std::string processStretch(PluginInstance& instance, Channels<Sample>& channels, std::int64_t start, std::int64_t total,
                           std::int32_t block, Random* random, const std::string& setting, bool silent = false) {
    for (std::int64_t position = start; position < start + total; position += block) {
        noteCheckProgress(setting + ", frame " + std::to_string(position));
        if (random != nullptr && position >= start + total / 2 && position < start + total / 2 + block) {
            for (std::int32_t i = 0; i < instance.paramCount(); ++i) {
                instance.setParam(i, random->paramValue());
            }
        }
        channels.fill(position, block, silent);
        channels.process(instance, block);
        const std::string bad = channels.badSample(block);
        if (!bad.empty()) {
            std::string where = bad;
            where += " of the block at frame " + std::to_string(position);
            where += " (" + setting + ")";
            return where;
        }
    }
    return {};
}

template <typename Sample>
CheckVerdict checkProcessing(const CheckContext& context) {
    {
        PluginInstance probe(context.entry);
        if (!supports<Sample>(probe)) {
            return skip(std::string("the plug-in does not declare ") + precisionName<Sample>() + " processing");
        }
    }
    Random random(context.seed);
    for (const float rate : sampleRates) {
        // One effect per rate, its block size changed between activations as a host does (some
        // effects take a while to create).
        PluginInstance instance(context.entry);
        prepareInstance(instance, context.profile, rate, blockSizes[0]);
        for (const std::int32_t block : blockSizes) {
            instance.setActive(false);
            instance.configure(rate, block);
            instance.setActive(true);
            Channels<Sample> channels(instance, block);
            const std::int64_t total = std::max<std::int64_t>(8192, 4 * static_cast<std::int64_t>(block));
            const std::string bad =
                processStretch(instance, channels, 0, total, block, &random, settingText(rate, block));
            if (!bad.empty()) {
                return fail(bad);
            }
        }
    }
    return pass("3 sample rates x 4 block sizes, default and random parameters");
}

// Silence after a burst of signal, long enough for tails to decay: finite output, and no
// subnormal numbers (which slow processing down on many machines).
template <typename Sample>
CheckVerdict silenceRun(const CheckContext& context) {
    PluginInstance instance(context.entry);
    constexpr std::int32_t block = 512;
    prepareInstance(instance, context.profile, 44100.0F, block);
    Channels<Sample> channels(instance, block);
    std::string bad = processStretch(instance, channels, 0, 44100, block, nullptr, "silence at 44100 Hz", true);
    if (bad.empty()) {
        bad = processStretch(instance, channels, 44100, 4096, block, nullptr, "signal at 44100 Hz");
    }
    if (bad.empty()) {
        bad = processStretch(instance, channels, 48196, 3 * 44100, block, nullptr, "silence after signal", true);
    }
    return bad.empty() ? pass(std::string(precisionName<Sample>()) + ": 1 s of silence, signal, 3 s of silence")
                       : fail(std::string(precisionName<Sample>()) + ": " + bad);
}

// A stream whose sample rate and block size change between activations, as when a user
// changes the audio settings.
template <typename Sample>
CheckVerdict rateChangeRun(const CheckContext& context) {
    PluginInstance instance(context.entry);
    prepareInstance(instance, context.profile, 44100.0F, 512);
    constexpr std::pair<float, std::int32_t> settings[] = {
        {44100.0F, 512}, {96000.0F, 64}, {22050.0F, 2048}, {192000.0F, 1024}, {48000.0F, 128}};
    std::int64_t position = 0;
    for (const auto& [rate, block] : settings) {
        instance.setActive(false);
        instance.configure(rate, block);
        instance.setActive(true);
        Channels<Sample> channels(instance, block);
        const std::string bad = processStretch(instance, channels, position, 16384, block, nullptr,
                                               "after a change to " + settingText(rate, block));
        if (!bad.empty()) {
            return fail(std::string(precisionName<Sample>()) + ": " + bad);
        }
        position += 16384;
    }
    return pass(std::string(precisionName<Sample>()) + ": 5 settings, 22.05 to 192 kHz, blocks of 64 to 2048");
}

// Deactivation and activation in the middle of a stream, twice, as a host does when the user
// stops and starts the transport or bypasses the effect.
template <typename Sample>
CheckVerdict suspendRun(const CheckContext& context) {
    PluginInstance instance(context.entry);
    constexpr std::int32_t block = 256;
    prepareInstance(instance, context.profile, 44100.0F, block);
    Channels<Sample> channels(instance, block);
    std::int64_t position = 0;
    for (int round = 0; round < 3; ++round) {
        if (round > 0) {
            instance.setActive(false);
            instance.setActive(true);
        }
        const std::string setting = round == 0 ? "before suspending" : "after resume " + std::to_string(round);
        const std::string bad = processStretch(instance, channels, position, 8192, block, nullptr, setting);
        if (!bad.empty()) {
            return fail(std::string(precisionName<Sample>()) + ": " + bad);
        }
        position += 8192;
    }
    return pass(std::string(precisionName<Sample>()) + ": suspended and resumed twice mid-stream");
}

// Runs `Run` in every precision the plug-in declares, 32-bit first; the first verdict that is
// not a pass stands, otherwise the passes are noted together.
template <template <typename> typename Run>
CheckVerdict inDeclaredPrecisions(const CheckContext& context) {
    PluginInstance probe(context.entry);
    const bool useFloat = probe.canProcessFloat();
    const bool useDouble = probe.canProcessDouble();
    probe.close();
    CheckVerdict verdict = pass();
    for (const bool isDouble : {false, true}) {
        if (!(isDouble ? useDouble : useFloat)) {
            continue;
        }
        CheckVerdict one = isDouble ? Run<double>::run(context) : Run<float>::run(context);
        if (one.status != CheckStatus::pass) {
            return one;
        }
        verdict.detail += (verdict.detail.empty() ? "" : "; ") + one.detail;
    }
    return verdict;
}

template <typename Sample>
struct Silence {
    static CheckVerdict run(const CheckContext& context) { return silenceRun<Sample>(context); }
};
template <typename Sample>
struct RateChanges {
    static CheckVerdict run(const CheckContext& context) { return rateChangeRun<Sample>(context); }
};
template <typename Sample>
struct SuspendResume {
    static CheckVerdict run(const CheckContext& context) { return suspendRun<Sample>(context); }
};

// ---- Block splits and buffers ------------------------------------------------------------

// One effect's output for the test input, processed in blocks of the sizes in `splits`,
// with every parameter set to the same random values first.
template <typename Sample>
std::vector<std::vector<Sample>> renderSplit(const CheckContext& context, const std::vector<std::int32_t>& splits,
                                             bool inPlace) {
    PluginInstance instance(context.entry);
    constexpr std::int32_t maxBlock = 512;
    prepareInstance(instance, context.profile, 44100.0F, maxBlock);
    Random random(context.seed);
    for (std::int32_t i = 0; i < instance.paramCount(); ++i) {
        instance.setParam(i, random.unit());
    }
    Channels<Sample> channels(instance, maxBlock);
    if (inPlace) {
        channels.shareBuffers();
    }
    std::vector<std::vector<Sample>> output;
    std::int64_t position = 0;
    for (const std::int32_t frames : splits) {
        channels.fill(position, frames);
        channels.process(instance, frames);
        channels.keep(output, frames);
        position += frames;
    }
    return output;
}

template <typename Sample>
bool sameBits(const std::vector<std::vector<Sample>>& a, const std::vector<std::vector<Sample>>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t c = 0; c < a.size(); ++c) {
        if (a[c].size() != b[c].size() || std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(Sample)) != 0) {
            return false;
        }
    }
    return true;
}

// The first frame where two outputs differ, in words.
template <typename Sample>
std::string firstDifference(const std::vector<std::vector<Sample>>& a, const std::vector<std::vector<Sample>>& b) {
    for (std::size_t c = 0; c < a.size() && c < b.size(); ++c) {
        for (std::size_t k = 0; k < a[c].size() && k < b[c].size(); ++k) {
            if (std::memcmp(&a[c][k], &b[c][k], sizeof(Sample)) != 0) {
                return "output " + std::to_string(c) + " first differs at frame " + std::to_string(k);
            }
        }
    }
    return "the outputs differ in length";
}

constexpr std::int32_t comparedBlocks = 32;  // of 512 frames

// Compares a variant of processing with plain 512-frame blocks on separate buffers, in the
// given precision.
template <typename Sample>
CheckVerdict compareVariant(const CheckContext& context, bool randomSplits, bool inPlace, CheckStatus onMismatch) {
    const std::vector<std::int32_t> plain(comparedBlocks, 512);
    const auto reference = renderSplit<Sample>(context, plain, false);
    if (!sameBits(reference, renderSplit<Sample>(context, plain, false))) {
        return skip("two identical runs give different output: the plug-in is not deterministic");
    }
    std::vector<std::int32_t> splits = plain;
    if (randomSplits) {
        splits.clear();
        Random random(context.seed);
        std::int32_t left = comparedBlocks * 512;
        while (left > 0) {
            const std::int32_t frames = std::min(left, 1 + random.below(512));
            splits.push_back(frames);
            left -= frames;
        }
    }
    const auto variant = renderSplit<Sample>(context, splits, inPlace);
    if (!sameBits(reference, variant)) {
        return {onMismatch, std::string(precisionName<Sample>()) + ": " + firstDifference(reference, variant)};
    }
    return pass();
}

CheckVerdict compareBothPrecisions(const CheckContext& context, bool randomSplits, bool inPlace, CheckStatus onMismatch,
                                   const std::string& passNote) {
    bool canFloat = false;
    bool canDouble = false;
    {
        PluginInstance probe(context.entry);
        canFloat = probe.canProcessFloat();
        canDouble = probe.canProcessDouble();
    }
    if (canFloat) {
        CheckVerdict verdict = compareVariant<float>(context, randomSplits, inPlace, onMismatch);
        if (verdict.status != CheckStatus::pass) {
            return verdict;
        }
    }
    if (canDouble) {
        CheckVerdict verdict = compareVariant<double>(context, randomSplits, inPlace, onMismatch);
        if (verdict.status != CheckStatus::pass) {
            return verdict;
        }
    }
    return pass(passNote);
}

CheckVerdict checkBlockSplit(const CheckContext& context) {
    return compareBothPrecisions(context, true, false, CheckStatus::warn, "random block sizes 1..512, bit-identical");
}

CheckVerdict checkInPlace(const CheckContext& context) {
    return compareBothPrecisions(context, false, true, CheckStatus::fail, "bit-identical");
}

// ---- Real-time behaviour -----------------------------------------------------------------

template <typename Sample>
std::int64_t allocationsWhileProcessing(const CheckContext& context, std::int64_t& calls, std::string& where) {
    PluginInstance instance(context.entry);
    if (!supports<Sample>(instance)) {
        return 0;
    }
    prepareInstance(instance, context.profile, 44100.0F, 512);
    Channels<Sample> channels(instance, 512);
    std::int64_t allocations = 0;
    for (const std::int32_t frames : {512, 1, 64}) {
        for (int block = 0; block < 64; ++block) {
            channels.fill(block * frames, frames);
            allocationProbe::begin();
            channels.process(instance, frames);
            const std::int64_t made = allocationProbe::end();
            if (made > 0 && allocations == 0) {
                where = std::string(precisionName<Sample>()) + " block " + std::to_string(block) + " of " +
                        std::to_string(frames) + " frames";
            }
            allocations += made;
            ++calls;
        }
    }
    return allocations;
}

CheckVerdict checkNoAllocation(const CheckContext& context) {
    if (!allocationProbe::observable()) {
        return skip("not observable in this build (the host cannot see the plug-in's heap)");
    }
    std::int64_t calls = 0;
    std::string where;
    const std::int64_t allocations = allocationsWhileProcessing<float>(context, calls, where) +
                                     allocationsWhileProcessing<double>(context, calls, where);
    if (allocations > 0) {
        return fail(std::to_string(allocations) + " heap allocations in " + std::to_string(calls) +
                    " process calls (allocation on the audio thread), the first in the " + where);
    }
    return pass(std::to_string(calls) + " process calls");
}

}  // namespace

std::vector<CheckDefinition> processChecks() {
    return {
        {"process-32", "32-bit processing at 44.1/48/96 kHz, blocks of 1/32/512/4096: no NaN, infinity, subnormal",
         checkProcessing<float>},
        {"process-64", "64-bit processing, where declared, at the same settings", checkProcessing<double>},
        {"silence", "silence, a burst of signal, then silence: finite output without subnormal numbers",
         inDeclaredPrecisions<Silence>},
        {"rate-changes", "sample rate and block size changed between activations: finite output",
         inDeclaredPrecisions<RateChanges>},
        {"suspend-resume", "deactivation and activation in the middle of a stream: finite output",
         inDeclaredPrecisions<SuspendResume>},
        {"block-split", "output independent of how the frames are split into blocks", checkBlockSplit},
        {"in-place", "processing in place gives the output of separate buffers", checkInPlace},
        {"no-allocation", "no heap allocation during processing", checkNoAllocation},
    };
}

}  // namespace quorvel::host
