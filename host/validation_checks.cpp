#include "host/validation_checks.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "framework/request_codes.h"
#include "host/allocation_probe.h"
#include "host/background_thread.h"
#include "host/check_isolation.h"
#include "host/guarded_buffer.h"
#include "host/plugin_instance.h"
#include "host/render.h"

namespace {

// ---- Shared material -------------------------------------------------------------------

// A small deterministic generator, so that every run of a check drives the same values.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // A value in 0..1 with 24 significant bits.
    float unit() { return static_cast<float>(next() >> 8) / 16777215.0F; }
    std::int32_t below(std::int32_t bound) { return static_cast<std::int32_t>(next() % static_cast<std::uint32_t>(bound)); }

private:
    std::uint32_t state_;
};

// The input every processing check feeds: a tone per channel with some noise, and a stretch
// of silence, at half of full scale.
double testSample(int channel, std::int64_t frame) {
    if (frame % 8192 >= 6000 && frame % 8192 < 7000) {
        return 0.0;
    }
    const double tone = std::sin(0.0625 * static_cast<double>(frame) * (1.0 + 0.25 * channel));
    auto hash = static_cast<std::uint32_t>(frame * 2 + channel) * 2654435761U;
    hash ^= hash >> 16;
    const double noise = static_cast<double>(hash & 0xFFFFU) / 65535.0 - 0.5;
    return 0.4 * tone + 0.2 * noise;
}

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

    void fill(std::int64_t position, std::int32_t frames) {
        for (std::size_t c = 0; c < in_.size(); ++c) {
            for (std::int32_t k = 0; k < frames; ++k) {
                inPointers_[c][k] = static_cast<Sample>(testSample(static_cast<int>(c), position + k));
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
                const char* what = std::isnan(value)                          ? "NaN"
                                   : std::isinf(value)                        ? "an infinity"
                                   : std::fpclassify(value) == FP_SUBNORMAL ? "a subnormal number"
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

CheckVerdict pass(std::string detail = {}) {
    return {CheckStatus::pass, std::move(detail)};
}

CheckVerdict fail(std::string detail) {
    return {CheckStatus::fail, std::move(detail)};
}

CheckVerdict skip(std::string detail) {
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
std::string summarise(const std::vector<std::string>& problems, std::size_t shown = 3) {
    std::string text;
    for (std::size_t k = 0; k < problems.size() && k < shown; ++k) {
        text += (k > 0 ? "; " : "") + problems[k];
    }
    if (problems.size() > shown) {
        text += "; and " + std::to_string(problems.size() - shown) + " more";
    }
    return text;
}

// ---- Entry and record ------------------------------------------------------------------

CheckVerdict checkEntryVersionZero(PluginEntry entry) {
    EffectRecord* record = entry(refusingHostCallback);
    if (record == nullptr) {
        return pass();
    }
    if (recordProblems(*record).empty()) {
        record->dispatchEntry(record, reqClose, 0, 0, nullptr, 0.0F);
    }
    return fail("the entry point created an effect although the host answered 0 to the version question");
}

CheckVerdict checkRecord(PluginEntry entry) {
    EffectRecord* record = entry(hostCallback);
    if (record == nullptr) {
        return fail("the entry point answered null to a host of version 2400");
    }
    const std::vector<std::string> problems = recordProblems(*record);
    if (!problems.empty()) {
        return fail(summarise(problems, 4));
    }
    const EffectRecord copy = *record;
    record->dispatchEntry(record, reqClose, 0, 0, nullptr, 0.0F);
    if ((copy.flags & flagCanFloatReplacing) == 0 && (copy.flags & flagCanDoubleReplacing) == 0) {
        return fail("the record declares neither 32-bit nor 64-bit replacing processing");
    }
    if (copy.outputCount < 1) {
        return fail("the record declares no outputs");
    }
    return pass("magic, entries and counts sound (" + std::to_string(copy.inputCount) + " in, " +
                std::to_string(copy.outputCount) + " out, " + std::to_string(copy.paramCount) + " parameters)");
}

// ---- Requests and texts ----------------------------------------------------------------

// The buffer this host hands with each request code of the sweep: the documented size of a
// text, or a generous kilobyte for the records that some requests fill.
std::size_t sweepBufferSize(std::int32_t code) {
    static const std::map<std::int32_t, std::size_t> textSizes = {
        {reqProgramName, textCapacity::programName}, {reqParamUnit, textCapacity::paramUnit},
        {reqParamValueText, textCapacity::paramValueText}, {reqParamTitle, textCapacity::paramTitle},
        {reqProgramNameAt, textCapacity::programName},     {reqEffectName, textCapacity::effectName},
        {reqVendorText, textCapacity::vendorText},         {reqProductText, textCapacity::productText},
        {reqNextShellPlugin, textCapacity::productText},
    };
    const auto found = textSizes.find(code);
    return found != textSizes.end() ? found->second : 1024;
}

CheckVerdict checkRequestSweep(PluginEntry entry) {
    PluginInstance instance(entry);
    std::vector<std::string> problems;
    for (std::int32_t code = -1; code <= 100; ++code) {
        if (code == reqClose) {
            continue;  // the last request, sent by close() below
        }
        GuardedBuffer buffer(sweepBufferSize(code));
        noteCheckProgress("request " + std::to_string(code));
        instance.dispatch(code, 0, 0, buffer.data(), 0.0F);
        if (buffer.overrunAfter() > 0) {
            problems.push_back("request " + std::to_string(code) + " wrote " + std::to_string(buffer.overrunAfter()) +
                               " bytes past its " + std::to_string(buffer.size()) + "-byte buffer");
        } else if (buffer.overrunBefore() > 0) {
            problems.push_back("request " + std::to_string(code) + " wrote before its buffer");
        }
    }
    if (instance.record().magic != recordMagic) {
        problems.push_back("the record's magic changed during the sweep");
        return fail(summarise(problems));
    }
    instance.close();
    return problems.empty() ? pass("101 requests answered") : fail(summarise(problems));
}

CheckVerdict checkIdentityTexts(PluginEntry entry) {
    PluginInstance instance(entry);
    std::vector<std::string> problems;
    const auto note = [&problems](const TextAnswer& answer, const std::string& what) {
        if (!answer.problem.empty()) {
            problems.push_back(what + " " + answer.problem);
        }
    };
    note(instance.effectName(), "the effect name");
    note(instance.vendorText(), "the vendor text");
    note(instance.productText(), "the product text");
    const std::int32_t programs = std::min<std::int32_t>(instance.programCount(), 128);
    for (std::int32_t p = 0; p < programs; ++p) {
        instance.dispatch(reqSelectProgram, 0, p);
        note(instance.programName(), "program " + std::to_string(p) + "'s name");
    }
    return problems.empty() ? pass() : fail(summarise(problems));
}

constexpr float probeValues[] = {0.0F, 0.25F, 0.5F, 0.75F, 1.0F};

CheckVerdict checkParamRoundTrip(PluginEntry entry) {
    PluginInstance instance(entry);
    std::vector<std::string> failures, differences;
    const std::int32_t count = std::min<std::int32_t>(instance.paramCount(), 1000);
    for (std::int32_t i = 0; i < count; ++i) {
        const float original = instance.param(i);
        if (!std::isfinite(original)) {
            failures.push_back("parameter " + std::to_string(i) + " reads as a non-finite number");
        }
        for (const float value : probeValues) {
            instance.setParam(i, value);
            const float back = instance.param(i);
            if (!std::isfinite(back)) {
                failures.push_back("parameter " + std::to_string(i) + " written " + std::to_string(value) +
                                   " reads back as a non-finite number");
            } else if (back != value) {
                differences.push_back("parameter " + std::to_string(i) + " written " + std::to_string(value) +
                                      " reads back " + std::to_string(back));
            }
        }
        instance.setParam(i, original);
    }
    if (!failures.empty()) {
        return fail(summarise(failures));
    }
    if (!differences.empty()) {
        return {CheckStatus::warn, summarise(differences)};
    }
    return pass(std::to_string(count) + " parameters, " + std::to_string(std::size(probeValues)) + " values each");
}

CheckVerdict checkParamTexts(PluginEntry entry) {
    PluginInstance instance(entry);
    std::vector<std::string> problems;
    const std::int32_t count = std::min<std::int32_t>(instance.paramCount(), 1000);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string what = "parameter " + std::to_string(i) + "'s ";
        const float original = instance.param(i);
        const TextAnswer title = instance.paramTitle(i);
        if (!title.problem.empty()) {
            problems.push_back(what + "title " + title.problem);
        }
        const TextAnswer unit = instance.paramUnit(i);
        if (!unit.problem.empty()) {
            problems.push_back(what + "unit " + unit.problem);
        }
        for (const float value : probeValues) {
            instance.setParam(i, value);
            const TextAnswer answer = instance.paramValueText(i);
            if (!answer.problem.empty()) {
                problems.push_back(what + "value text at " + std::to_string(value) + " " + answer.problem);
            }
        }
        instance.setParam(i, original);
    }
    return problems.empty() ? pass() : fail(summarise(problems));
}

// ---- Processing ------------------------------------------------------------------------

constexpr float sampleRates[] = {44100.0F, 48000.0F, 96000.0F};
constexpr std::int32_t blockSizes[] = {1, 32, 512, 4096};

template <typename Sample>
CheckVerdict checkProcessing(PluginEntry entry) {
    {
        PluginInstance probe(entry);
        if (!supports<Sample>(probe)) {
            return skip(std::string("the plug-in does not declare ") + precisionName<Sample>() + " processing");
        }
    }
    for (const float rate : sampleRates) {
        for (const std::int32_t block : blockSizes) {
            noteCheckProgress(std::to_string(static_cast<int>(rate)) + " Hz, blocks of " + std::to_string(block));
            PluginInstance instance(entry);
            prepareForRender(instance, rate, block);
            Channels<Sample> channels(instance, block);
            const std::int64_t total = std::max<std::int64_t>(8192, 4 * static_cast<std::int64_t>(block));
            Random random(static_cast<std::uint32_t>(rate) + static_cast<std::uint32_t>(block));
            for (std::int64_t position = 0; position < total; position += block) {
                if (position >= total / 2 && position < total / 2 + block) {
                    // The second half runs with every parameter at a random value.
                    for (std::int32_t i = 0; i < instance.paramCount(); ++i) {
                        instance.setParam(i, random.unit());
                    }
                }
                channels.fill(position, block);
                channels.process(instance, block);
                const std::string bad = channels.badSample(block);
                if (!bad.empty()) {
                    return fail(bad + " of the block at frame " + std::to_string(position) + " (" +
                                std::to_string(static_cast<int>(rate)) + " Hz, blocks of " + std::to_string(block) +
                                ")");
                }
            }
        }
    }
    return pass("3 sample rates x 4 block sizes");
}

template <typename Sample>
std::string automationRun(PluginEntry entry) {
    PluginInstance instance(entry);
    if (!supports<Sample>(instance) || instance.paramCount() == 0) {
        return {};
    }
    constexpr std::int32_t subBlock = 32;
    prepareForRender(instance, 44100.0F, 512);
    Channels<Sample> channels(instance, subBlock);
    Random random(7);
    for (std::int64_t position = 0; position < 44100; position += subBlock) {
        for (std::int32_t i = 0; i < instance.paramCount(); ++i) {
            if ((random.next() & 1U) != 0) {
                instance.setParam(i, random.unit());
            }
        }
        channels.fill(position, subBlock);
        channels.process(instance, subBlock);
        const std::string bad = channels.badSample(subBlock);
        if (!bad.empty()) {
            return std::string(precisionName<Sample>()) + ": " + bad + " of the sub-block at frame " +
                   std::to_string(position);
        }
    }
    return {};
}

CheckVerdict checkAutomation(PluginEntry entry) {
    {
        PluginInstance probe(entry);
        if (probe.paramCount() == 0) {
            return skip("the plug-in has no parameters");
        }
    }
    std::string bad = automationRun<float>(entry);
    if (bad.empty()) {
        bad = automationRun<double>(entry);
    }
    return bad.empty() ? pass("one second, random values every 32 frames") : fail(bad);
}

// One effect's output for the test input, processed in blocks of the sizes in `splits`,
// with every parameter set to the same random values first.
template <typename Sample>
std::vector<std::vector<Sample>> renderSplit(PluginEntry entry, const std::vector<std::int32_t>& splits, bool inPlace) {
    PluginInstance instance(entry);
    constexpr std::int32_t maxBlock = 512;
    prepareForRender(instance, 44100.0F, maxBlock);
    Random random(11);
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
// given precision; answers a verdict only when the precision is supported.
template <typename Sample>
CheckVerdict compareVariant(PluginEntry entry, bool randomSplits, bool inPlace, CheckStatus onMismatch) {
    const std::vector<std::int32_t> plain(comparedBlocks, 512);
    const auto reference = renderSplit<Sample>(entry, plain, false);
    if (!sameBits(reference, renderSplit<Sample>(entry, plain, false))) {
        return skip("two identical runs give different output: the plug-in is not deterministic");
    }
    std::vector<std::int32_t> splits = plain;
    if (randomSplits) {
        splits.clear();
        Random random(3);
        std::int32_t left = comparedBlocks * 512;
        while (left > 0) {
            const std::int32_t frames = std::min(left, 1 + random.below(512));
            splits.push_back(frames);
            left -= frames;
        }
    }
    const auto variant = renderSplit<Sample>(entry, splits, inPlace);
    if (!sameBits(reference, variant)) {
        return {onMismatch, std::string(precisionName<Sample>()) + ": " + firstDifference(reference, variant)};
    }
    return pass();
}

CheckVerdict compareBothPrecisions(PluginEntry entry, bool randomSplits, bool inPlace, CheckStatus onMismatch,
                                   const std::string& passNote) {
    bool canFloat = false;
    bool canDouble = false;
    {
        PluginInstance probe(entry);
        canFloat = probe.canProcessFloat();
        canDouble = probe.canProcessDouble();
    }
    if (canFloat) {
        CheckVerdict verdict = compareVariant<float>(entry, randomSplits, inPlace, onMismatch);
        if (verdict.status != CheckStatus::pass) {
            return verdict;
        }
    }
    if (canDouble) {
        CheckVerdict verdict = compareVariant<double>(entry, randomSplits, inPlace, onMismatch);
        if (verdict.status != CheckStatus::pass) {
            return verdict;
        }
    }
    return pass(passNote);
}

CheckVerdict checkBlockSplit(PluginEntry entry) {
    return compareBothPrecisions(entry, true, false, CheckStatus::warn, "random block sizes 1..512, bit-identical");
}

CheckVerdict checkInPlace(PluginEntry entry) {
    return compareBothPrecisions(entry, false, true, CheckStatus::fail, "bit-identical");
}

// ---- Real-time behaviour ---------------------------------------------------------------

template <typename Sample>
std::int64_t allocationsWhileProcessing(PluginEntry entry, std::int64_t& calls) {
    PluginInstance instance(entry);
    if (!supports<Sample>(instance)) {
        return 0;
    }
    prepareForRender(instance, 44100.0F, 512);
    Channels<Sample> channels(instance, 512);
    std::int64_t allocations = 0;
    for (const std::int32_t frames : {512, 1, 64}) {
        for (int block = 0; block < 64; ++block) {
            channels.fill(block * frames, frames);
            allocationProbe::begin();
            channels.process(instance, frames);
            allocations += allocationProbe::end();
            ++calls;
        }
    }
    return allocations;
}

CheckVerdict checkNoAllocation(PluginEntry entry) {
    if (!allocationProbe::observable()) {
        return skip("not observable in this build (the host cannot see the plug-in's heap)");
    }
    std::int64_t calls = 0;
    const std::int64_t allocations = allocationsWhileProcessing<float>(entry, calls) +
                                     allocationsWhileProcessing<double>(entry, calls);
    if (allocations > 0) {
        return fail(std::to_string(allocations) + " heap allocations in " + std::to_string(calls) + " process calls");
    }
    return pass(std::to_string(calls) + " process calls");
}

CheckVerdict checkThreadedParams(PluginEntry entry) {
    PluginInstance instance(entry);
    if (instance.paramCount() == 0) {
        return skip("the plug-in has no parameters");
    }
    if (!instance.canProcessFloat()) {
        return skip("the plug-in does not declare 32-bit processing");
    }
    prepareForRender(instance, 44100.0F, 256);
    Channels<float> channels(instance, 256);
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> writes{0};
    std::string bad;
    {
        BackgroundThread writer([&] {
            Random random(5);
            while (!stop.load(std::memory_order_relaxed)) {
                const std::int32_t index = random.below(instance.paramCount());
                instance.setParam(index, random.unit());
                static_cast<void>(instance.param(index));
                writes.fetch_add(1, std::memory_order_relaxed);
            }
        });
        // The writer must be running before the blocks start (but a stuck thread does not
        // hold the check up for long).
        for (int wait = 0; wait < 100000 && writes.load() == 0; ++wait) {
            BackgroundThread::yield();
        }
        for (std::int64_t block = 0; block < 400 && bad.empty(); ++block) {
            channels.fill(block * 256, 256);
            channels.process(instance, 256);
            bad = channels.badSample(256);
        }
        stop = true;
    }
    if (!bad.empty()) {
        return fail(bad + " while another thread wrote parameters");
    }
    return pass("400 blocks against " + std::to_string(writes.load()) + " parameter writes");
}

CheckVerdict checkOpenClose(PluginEntry entry) {
    constexpr int cycles = 1000;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        noteCheckProgress("cycle " + std::to_string(cycle + 1));
        try {
            PluginInstance instance(entry);
            instance.open();
        } catch (const HostError& error) {
            return fail("cycle " + std::to_string(cycle + 1) + ": " + error.what());
        }
    }
    return pass(std::to_string(cycles) + " cycles");
}

}  // namespace

CheckFunction checkFunction(const std::string& name) {
    static const std::map<std::string, CheckFunction> functions = {
        {"entry-version-0", checkEntryVersionZero},
        {"record", checkRecord},
        {"request-sweep", checkRequestSweep},
        {"identity-texts", checkIdentityTexts},
        {"param-round-trip", checkParamRoundTrip},
        {"param-texts", checkParamTexts},
        {"process-32", checkProcessing<float>},
        {"process-64", checkProcessing<double>},
        {"automation", checkAutomation},
        {"block-split", checkBlockSplit},
        {"in-place", checkInPlace},
        {"no-allocation", checkNoAllocation},
        {"threaded-params", checkThreadedParams},
        {"open-close", checkOpenClose},
    };
    const auto found = functions.find(name);
    return found != functions.end() ? found->second : nullptr;
}
