// Checks of processing: both precisions at several settings, silence, changes of settings
// between activations, suspend and resume, block splits, in-place buffers and allocation.
#include <cstdio>
#include <cstring>

#include "framework/request_codes.h"
#include "host/supervision/isolation.h"
#include "host/validate/allocation_probe.h"
#include "host/validate/checks/check_list.h"
#include "host/validate/checks/check_support.h"

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
    SampleTally tally;
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
            tally.add(channels.tally());
        }
    }
    return subnormalVerdict(tally, "3 sample rates x 4 block sizes, default and random parameters");
}

// Silence after a burst of signal, long enough for tails to decay: finite output, and no tail
// that stays in subnormal numbers (which slow processing down on many machines).
template <typename Sample>
CheckVerdict silenceRun(const CheckContext& context) {
    PluginInstance instance(context.entry);
    constexpr std::int32_t block = 512;
    prepareInstance(instance, context.profile, 44100.0F, block);
    Channels<Sample> channels(instance, block);
    const std::string precision = precisionName<Sample>();
    std::string bad = processStretch(instance, channels, 0, 44100, block, nullptr, "silence at 44100 Hz", true);
    if (bad.empty()) {
        bad = processStretch(instance, channels, 44100, 4096, block, nullptr, "signal at 44100 Hz");
    }
    if (bad.empty()) {
        bad = processStretch(instance, channels, 48196, 3 * 44100, block, nullptr, "silence after signal", true);
    }
    if (!bad.empty()) {
        return fail(precision + ": " + bad);
    }
    // A tail that decays into subnormal numbers and stays there costs processing time for as
    // long as the silence lasts.
    constexpr std::int64_t stuckBlocks = 8;
    if (channels.trailingSubnormalBlocks() >= stuckBlocks) {
        return fail(precision + ": the tail stays subnormal (slow to process): subnormal numbers in each of the last " +
                    std::to_string(channels.trailingSubnormalBlocks()) + " blocks after 3 s of silence, " +
                    std::to_string(channels.lastBlockSubnormals()) + " in the last");
    }
    return subnormalVerdict(channels.tally(), precision + ": 1 s of silence, signal, 3 s of silence");
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
    SampleTally tally;
    for (const auto& [rate, block] : settings) {
        instance.setActive(false);
        instance.configure(rate, block);
        instance.setActive(true);
        Channels<Sample> channels(instance, block);
        const std::string bad = processStretch(instance, channels, position, 16384, block, nullptr,
                                               settingText(rate, block) + " set while inactive");
        if (!bad.empty()) {
            return fail(std::string(precisionName<Sample>()) + ": " + bad);
        }
        tally.add(channels.tally());
        position += 16384;
    }
    return subnormalVerdict(
        tally, std::string(precisionName<Sample>()) + ": 5 settings, 22.05 to 192 kHz, blocks of 64 to 2048");
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
    return subnormalVerdict(channels.tally(),
                            std::string(precisionName<Sample>()) + ": suspended and resumed twice mid-stream");
}

// Runs `Run` in every precision the plug-in declares, 32-bit first; the first failure or skip
// stands, otherwise the passes and warnings are noted together (a warning if any warned).
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
        if (one.status != CheckStatus::pass && one.status != CheckStatus::warn) {
            return one;
        }
        if (one.status == CheckStatus::warn) {
            verdict.status = CheckStatus::warn;
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
// Identical runs that must agree before a plug-in is taken as deterministic, and the runs
// that confirm it before a difference in a variant is blamed on the variant.
constexpr int identicalRuns = 3;
constexpr int fewestConfirmingRuns = 3;
constexpr int mostConfirmingRuns = 10;
constexpr double confirmingSeconds = 2.0;  // runs past the fewest stop after this long (slow effects)

// Renders plain blocks `fewest` more times, and on up to `most` while `seconds` have not
// passed; counts the runs that differ from `reference` in `differing`, answers the runs made.
template <typename Sample>
int identicalRunsDiffering(const CheckContext& context, const std::vector<std::vector<Sample>>& reference, int fewest,
                           int most, double seconds, int& differing) {
    const std::vector<std::int32_t> plain(comparedBlocks, 512);
    const Deadline deadline(seconds);
    int run = 0;
    for (; run < most && (run < fewest || !deadline.passed()); ++run) {
        noteCheckProgress(std::string(precisionName<Sample>()) + " identical run " + std::to_string(run + 2));
        differing += sameBits(reference, renderSplit<Sample>(context, plain, false)) ? 0 : 1;
    }
    return run;
}

template <typename Sample>
CheckVerdict notDeterministic(int differing, int runs) {
    return warn(std::string("not deterministic: could not test (") + precisionName<Sample>() + ": " +
                std::to_string(differing) + " of " + std::to_string(runs - 1) +
                " repeated identical runs differed from the first)");
}

// Compares a variant of processing with plain 512-frame blocks on separate buffers, in the
// given precision. The plug-in's determinism is measured first: where identical runs differ,
// the comparison cannot tell a fault from the plug-in's own variation and only warns so.
template <typename Sample>
CheckVerdict compareVariant(const CheckContext& context, bool randomSplits, bool inPlace, CheckStatus onMismatch) {
    const std::vector<std::int32_t> plain(comparedBlocks, 512);
    const auto reference = renderSplit<Sample>(context, plain, false);
    int differing = 0;
    const int runs =
        1 + identicalRunsDiffering<Sample>(context, reference, identicalRuns - 1, identicalRuns - 1, 0.0, differing);
    if (differing > 0) {
        return notDeterministic<Sample>(differing, runs);
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
    noteCheckProgress(std::string(precisionName<Sample>()) + (inPlace ? " in place" : " random block sizes"));
    const auto variant = renderSplit<Sample>(context, splits, inPlace);
    if (!sameBits(reference, variant)) {
        // A plug-in that varies seldom may have agreed with itself so far: more identical runs
        // before the difference is blamed on the variant as a failure (a warning needs none).
        const int confirmed =
            runs + (onMismatch == CheckStatus::fail
                        ? identicalRunsDiffering<Sample>(context, reference, fewestConfirmingRuns, mostConfirmingRuns,
                                                         confirmingSeconds, differing)
                        : 0);
        if (differing > 0) {
            return notDeterministic<Sample>(differing, confirmed);
        }
        return {onMismatch, std::string(precisionName<Sample>()) + ": " + firstDifference(reference, variant) + " (" +
                                std::to_string(confirmed) + " identical runs agree)"};
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
    CheckVerdict warning;
    for (const bool isDouble : {false, true}) {
        if (!(isDouble ? canDouble : canFloat)) {
            continue;
        }
        CheckVerdict verdict = isDouble ? compareVariant<double>(context, randomSplits, inPlace, onMismatch)
                                        : compareVariant<float>(context, randomSplits, inPlace, onMismatch);
        if (verdict.status == CheckStatus::fail) {
            return verdict;
        }
        if (verdict.status == CheckStatus::warn && warning.detail.empty()) {
            warning = verdict;
        }
    }
    return warning.detail.empty() ? pass(passNote) : warning;
}

CheckVerdict checkBlockSplit(const CheckContext& context) {
    return compareBothPrecisions(context, true, false, CheckStatus::warn,
                                 "random block sizes 1..512, bit-identical; 3 identical runs agree");
}

CheckVerdict checkInPlace(const CheckContext& context) {
    return compareBothPrecisions(context, false, true, CheckStatus::fail, "bit-identical; 3 identical runs agree");
}

// ---- Real-time behaviour -----------------------------------------------------------------

// Heap allocations seen in process calls: in the first call after each activation (where
// an effect may lazily make what it needs, once) and in the calls after it (the steady state,
// where every allocation can stall the audio thread).
struct AllocationCount {
    std::int64_t firstCalls = 0;        // first process calls after an activation
    std::int64_t firstAllocations = 0;  // allocations in them
    std::int64_t steadyCalls = 0;
    std::int64_t steadyAllocations = 0;
    std::int64_t steadyCallsAllocating = 0;  // steady calls that allocated at all
    std::string firstSteady;                 // where the first steady allocation was
};

template <typename Sample>
void countAllocations(const CheckContext& context, AllocationCount& count) {
    PluginInstance instance(context.entry);
    if (!supports<Sample>(instance)) {
        return;
    }
    prepareInstance(instance, context.profile, 44100.0F, 512);
    Channels<Sample> channels(instance, 512);
    for (const std::int32_t frames : {512, 1, 64}) {
        // Each series starts from a new activation, as after a host's transport restart.
        instance.setActive(false);
        instance.setActive(true);
        for (int block = 0; block < 64; ++block) {
            channels.fill(block * frames, frames);
            allocationProbe::begin();
            channels.process(instance, frames);
            const std::int64_t made = allocationProbe::end();
            if (block == 0) {
                ++count.firstCalls;
                count.firstAllocations += made;
                continue;
            }
            if (made > 0 && count.steadyAllocations == 0) {
                count.firstSteady = std::string(precisionName<Sample>()) + " block " + std::to_string(block) + " of " +
                                    std::to_string(frames) + " frames";
            }
            ++count.steadyCalls;
            count.steadyAllocations += made;
            count.steadyCallsAllocating += made > 0 ? 1 : 0;
        }
    }
}

std::string perBlock(std::int64_t allocations, std::int64_t calls) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2g",
                  calls > 0 ? static_cast<double>(allocations) / static_cast<double>(calls) : 0.0);
    return text;
}

CheckVerdict checkNoAllocation(const CheckContext& context) {
    if (!allocationProbe::observable()) {
        return skip("not observable in this build (the host cannot see the plug-in's heap)");
    }
    AllocationCount count;
    countAllocations<float>(context, count);
    countAllocations<double>(context, count);
    const std::string first = std::to_string(count.firstAllocations) +
                              " heap allocations in the first process call after " + std::to_string(count.firstCalls) +
                              " activations";
    if (count.steadyAllocations > 0) {
        return fail("allocation on the audio thread in the steady state: " + std::to_string(count.steadyAllocations) +
                    " heap allocations in " + std::to_string(count.steadyCallsAllocating) + " of the " +
                    std::to_string(count.steadyCalls) + " later process calls (" +
                    perBlock(count.steadyAllocations, count.steadyCalls) + " per block), the first in the " +
                    count.firstSteady + "; and " + first);
    }
    if (count.firstAllocations > 0) {
        return warn(first + " (one-off, " + perBlock(count.firstAllocations, count.firstCalls) +
                    " per activation), none in the " + std::to_string(count.steadyCalls) + " later process calls");
    }
    return pass(std::to_string(count.firstCalls + count.steadyCalls) + " process calls after " +
                std::to_string(count.firstCalls) + " activations");
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
