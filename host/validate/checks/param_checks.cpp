// Checks of the parameters: values read back, texts, automation between blocks and writes
// from another thread.
#include <atomic>

#include "host/supervision/isolation.h"
#include "host/validate/background_thread.h"
#include "host/validate/checks/check_list.h"
#include "host/validate/checks/check_support.h"

namespace quorvel::host {

namespace {

constexpr float probeValues[] = {0.0F, 0.25F, 0.5F, 0.75F, 1.0F};
// How far a value read back may be from the one written and still be that value, rounded
// through the plug-in's own units (0.75 stored as a gain in decibels reads back 0.74999994):
// a few ulps of values in 0..1. Farther is a stepped or quantized parameter.
constexpr float roundingTolerance = 1.0e-6F;
constexpr std::int32_t maxCheckedParams = 1000;

CheckVerdict checkParamRoundTrip(const CheckContext& context) {
    PluginInstance instance(context.entry);
    prepareInstance(instance, context.profile, 44100.0F, 512);
    std::vector<std::string> failures, differences;
    int rounded = 0;
    const std::int32_t count = std::min(instance.paramCount(), maxCheckedParams);
    for (std::int32_t i = 0; i < count; ++i) {
        noteCheckProgress("parameter " + std::to_string(i));
        const float original = instance.param(i);
        if (!std::isfinite(original)) {
            failures.push_back("parameter " + std::to_string(i) + " reads as a non-finite number");
        }
        for (const float value : probeValues) {
            instance.setParam(i, value);
            const float back = instance.param(i);
            if (!std::isfinite(back)) {
                failures.push_back("parameter " + std::to_string(i) + " written " + valueText(value) +
                                   " reads back as a non-finite number");
            } else if (std::abs(back - value) <= roundingTolerance) {
                rounded += back != value ? 1 : 0;
            } else {
                differences.push_back("parameter " + std::to_string(i) + " written " + valueText(value) +
                                      " reads back " + valueText(back));
            }
        }
        instance.setParam(i, original);
    }
    if (!failures.empty()) {
        return fail(summarise(failures));
    }
    if (!differences.empty()) {
        return warn(std::to_string(differences.size()) +
                    " values read back otherwise (stepped parameters): " + summarise(differences) +
                    (rounded > 0 ? "; " + std::to_string(rounded) + " more read back rounded by at most 1e-6" : ""));
    }
    std::string note =
        std::to_string(count) + " parameters, " + std::to_string(std::size(probeValues)) + " values each";
    if (rounded > 0) {
        note += "; " + std::to_string(rounded) + " read back rounded by at most 1e-6";
    }
    return pass(note);
}

CheckVerdict checkParamTexts(const CheckContext& context) {
    PluginInstance instance(context.entry);
    prepareInstance(instance, context.profile, 44100.0F, 512);
    std::vector<std::string> problems, longTexts;
    const std::int32_t count = std::min(instance.paramCount(), maxCheckedParams);
    for (std::int32_t i = 0; i < count; ++i) {
        noteCheckProgress("parameter " + std::to_string(i));
        const std::string what = "parameter " + std::to_string(i) + "'s ";
        const float original = instance.param(i);
        judgeText(instance.paramTitle(i), what + "title", problems, longTexts);
        judgeText(instance.paramUnit(i), what + "unit", problems, longTexts);
        for (const float value : probeValues) {
            instance.setParam(i, value);
            judgeText(instance.paramValueText(i), what + "value text at " + valueText(value), problems, longTexts);
        }
        instance.setParam(i, original);
    }
    return textVerdict(problems, longTexts, std::to_string(count) + " parameters");
}

// Processes blocks of 32 frames for a while, writing random values (0, 1 and their
// neighbours among them) to random parameters between blocks; answers the first bad sample.
template <typename Sample>
std::string automationRun(const CheckContext& context, double seconds, std::int64_t& blocks, SampleTally& tally) {
    PluginInstance instance(context.entry);
    if (!supports<Sample>(instance)) {
        return {};
    }
    constexpr std::int32_t subBlock = 32;
    prepareInstance(instance, context.profile, 44100.0F, 512);
    Channels<Sample> channels(instance, subBlock);
    Random random(context.seed);
    const Deadline deadline(seconds);
    for (std::int64_t position = 0; !deadline.passed(); position += subBlock) {
        for (std::int32_t i = 0; i < instance.paramCount(); ++i) {
            if ((random.next() & 1U) != 0) {
                instance.setParam(i, random.paramValue());
            }
        }
        channels.fill(position, subBlock);
        channels.process(instance, subBlock);
        ++blocks;
        const std::string bad = channels.badSample(subBlock);
        if (!bad.empty()) {
            return std::string(precisionName<Sample>()) + ": " + bad + " of the block at frame " +
                   std::to_string(position) + " (44100 Hz, random values every 32 frames)";
        }
    }
    tally.add(channels.tally());
    return {};
}

CheckVerdict checkAutomation(const CheckContext& context) {
    {
        PluginInstance probe(context.entry);
        if (probe.paramCount() == 0) {
            return skip("the plug-in has no parameters");
        }
    }
    std::int64_t blocks = 0;
    SampleTally tally;
    std::string bad = automationRun<float>(context, busySeconds / 2, blocks, tally);
    if (bad.empty()) {
        bad = automationRun<double>(context, busySeconds / 2, blocks, tally);
    }
    return bad.empty() ? subnormalVerdict(
                             tally, std::to_string(blocks) + " blocks of 32 frames, random values (0 and 1 among them)")
                       : fail(bad);
}

// Writes that land while a process call runs, below which the check could not show overlap.
constexpr std::int64_t minimumOverlappingWrites = 20;
// Writes during process calls, and process calls, after which the check has seen enough.
constexpr std::int64_t enoughOverlappingWrites = 1000;
constexpr std::int64_t enoughBlocks = 50;
// Long blocks make long process calls, and so more chances to overlap on a busy machine.
constexpr std::int32_t threadedBlock = 2048;
// The writer's most writes while one process call runs (or between two): a process call that
// never returns then leaves the plug-in without calls, which the supervision sees as the hang
// it is, instead of a stream of quick writes that hides it.
constexpr std::int64_t writesPerPhase = 256;

CheckVerdict checkThreadedParams(const CheckContext& context) {
    PluginInstance instance(context.entry);
    if (instance.paramCount() == 0) {
        return skip("the plug-in has no parameters");
    }
    if (!instance.canProcessFloat()) {
        return skip("the plug-in does not declare 32-bit processing");
    }
    prepareInstance(instance, context.profile, 44100.0F, threadedBlock);
    Channels<float> channels(instance, threadedBlock);
    std::atomic<bool> stop{false};
    // Odd while a process call runs: raised before each call and after it.
    std::atomic<std::int64_t> phase{0};
    std::atomic<std::int64_t> writes{0};
    std::atomic<std::int64_t> overlapping{0};
    std::string bad;
    std::int64_t blocks = 0;
    {
        BackgroundThread writer([&] {
            Random random(context.seed);
            std::int64_t writingIn = -1;  // the phase of the latest writes
            std::int64_t writesInPhase = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                const std::int64_t before = phase.load();
                if (before != writingIn) {
                    writingIn = before;
                    writesInPhase = 0;
                }
                if (writesInPhase >= writesPerPhase) {
                    BackgroundThread::yield();
                    continue;
                }
                ++writesInPhase;
                const std::int32_t index = random.below(instance.paramCount());
                instance.setParam(index, random.unit());
                static_cast<void>(instance.param(index));
                // The write overlapped a process call when one and the same call ran before and after it.
                if (before % 2 == 1 && phase.load() == before) {
                    overlapping.fetch_add(1, std::memory_order_relaxed);
                }
                writes.fetch_add(1, std::memory_order_relaxed);
            }
        });
        // Runs for busySeconds, or up to three times as long while too few writes overlapped (as
        // when the machine is busy and the two threads seldom run at once).
        const Deadline usual(busySeconds);
        const Deadline longest(3 * busySeconds);
        const auto goOn = [&] {
            const std::int64_t overlapped = overlapping.load();
            return (overlapped < enoughOverlappingWrites || blocks < enoughBlocks) && !longest.passed() &&
                   (overlapped < minimumOverlappingWrites || !usual.passed());
        };
        while (bad.empty() && goOn()) {
            channels.fill(blocks * threadedBlock, threadedBlock);
            noteCheckProgress("block " + std::to_string(blocks) + " with writes from another thread");
            ++phase;
            channels.process(instance, threadedBlock);
            ++phase;
            bad = channels.badSample(threadedBlock);
            ++blocks;
        }
        stop = true;
    }
    const std::string counts = std::to_string(blocks) + " blocks, " + std::to_string(writes.load()) +
                               " parameter writes, " + std::to_string(overlapping.load()) +
                               " of them during a process call";
    if (!bad.empty()) {
        return fail(bad + " while another thread wrote parameters (" + counts + ")");
    }
    if (overlapping.load() < minimumOverlappingWrites) {
        return warn("could not test: " + counts + ", fewer than " + std::to_string(minimumOverlappingWrites));
    }
    return pass(counts);
}

}  // namespace

std::vector<CheckDefinition> paramChecks() {
    return {
        {"param-round-trip", "parameter values of an opened effect read back as written", checkParamRoundTrip},
        {"param-texts",
         "parameter titles, units and value texts stay within their buffers (host: a warning past the nominal 9 "
         "bytes)",
         checkParamTexts},
        {"automation", "random parameter values (0, 1 and extremes among them) every 32 frames: finite output",
         checkAutomation},
        {"threaded-params", "parameter writes from a second thread overlapping process calls", checkThreadedParams},
    };
}

}  // namespace quorvel::host
