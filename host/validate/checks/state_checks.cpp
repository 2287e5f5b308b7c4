// Checks of the effect's state and lifetime: state saved and restored through chunks,
// program changes, and repeated creation and closing.
#include <cmath>
#include <cstring>

#include "framework/request_codes.h"
#include "host/supervision/isolation.h"
#include "host/validate/checks/check_list.h"
#include "host/validate/checks/check_support.h"

namespace quorvel::host {

namespace {

// The two chunks a host asks for: the whole bank (a project) and the current program (a
// preset file). The value is the requests' index.
enum class ChunkKind : std::int32_t { bank = 0, program = 1 };

const char* chunkName(ChunkKind kind) {
    return kind == ChunkKind::bank ? "bank" : "program";
}

std::string chunkRequest(std::int32_t request, ChunkKind kind) {
    return "request " + std::to_string(request) + " (" + chunkName(kind) + ")";
}

// The effect's state as a chunk of `kind` (a copy); empty when it answers none.
std::vector<std::uint8_t> saveChunk(PluginInstance& instance, ChunkKind kind) {
    void* data = nullptr;
    noteCheckProgress(chunkRequest(reqSaveChunk, kind));
    const std::intptr_t size =
        instance.dispatch(reqSaveChunk, static_cast<std::int32_t>(kind), 0, static_cast<void*>(&data));
    if (size <= 0 || data == nullptr) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return {bytes, bytes + size};
}

void loadChunk(PluginInstance& instance, ChunkKind kind, std::vector<std::uint8_t> chunk) {
    noteCheckProgress(chunkRequest(reqLoadChunk, kind));
    instance.dispatch(reqLoadChunk, static_cast<std::int32_t>(kind), static_cast<std::intptr_t>(chunk.size()),
                      chunk.data());
}

constexpr std::int32_t stateBlock = 512;
constexpr int stateBlocks = 64;

// The output of a prepared effect for the test input, `stateBlocks` blocks of 32-bit samples.
std::vector<std::vector<float>> renderState(PluginInstance& instance) {
    Channels<float> channels(instance, stateBlock);
    std::vector<std::vector<float>> output;
    for (int block = 0; block < stateBlocks; ++block) {
        noteCheckProgress("block " + std::to_string(block) + " of the sound");
        channels.fill(static_cast<std::int64_t>(block) * stateBlock, stateBlock);
        channels.process(instance, stateBlock);
        channels.keep(output, stateBlock);
    }
    return output;
}

// The largest difference between two outputs, and the root mean square of their difference,
// over their second half, where smoothing of the parameters' changes has settled.
struct SoundDifference {
    double largest = 0.0;
    double rms = 0.0;
};

SoundDifference secondHalfDifference(const std::vector<std::vector<float>>& a,
                                     const std::vector<std::vector<float>>& b) {
    SoundDifference difference;
    double squares = 0.0;
    std::int64_t count = 0;
    for (std::size_t c = 0; c < a.size() && c < b.size(); ++c) {
        for (std::size_t k = a[c].size() / 2; k < a[c].size() && k < b[c].size(); ++k) {
            const double d = static_cast<double>(a[c][k]) - b[c][k];
            difference.largest = std::max(difference.largest, std::abs(d));
            squares += d * d;
            ++count;
        }
    }
    difference.rms = count > 0 ? std::sqrt(squares / static_cast<double>(count)) : 0.0;
    return difference;
}

// How far a parameter read back after a restore may be from what the saved effect read back
// and still hold its state, when the value texts differ: plug-ins keep values in their own
// units (a frequency, a gain in decibels) or as text, and a value comes back a few ulps away.
constexpr float restoreTolerance = 1.0e-5F;
// How far the restored effect's output may be from the saved one's, where the plug-in is
// deterministic: -80 dB of full scale against a test signal at -6 dB, for effects that reach
// a restored value by another path of their smoothing. A plug-in that differs from itself is
// judged against its own variation instead: the restored effect may differ from the saved one
// by at most twice as much (in root mean square) as two restored effects differ from each other.
constexpr double soundTolerance = 1.0e-4;
constexpr double ownVariationFactor = 2.0;

// What a host and a user see of an effect's parameters: each value and its text.
struct ParamReading {
    float value = 0.0F;
    std::string text;
};

std::vector<ParamReading> readParams(PluginInstance& instance) {
    std::vector<ParamReading> readings;
    for (std::int32_t i = 0; i < instance.paramCount(); ++i) {
        noteCheckProgress("parameter " + std::to_string(i) + " read back");
        readings.push_back({instance.param(i), instance.paramValueText(i).text});
    }
    return readings;
}

// The first parameter of `restored` that does not read back what `saved` read, in words
// ("parameter 3 reads 0.5 ... 0.25 when saved"); empty when all hold. `into` says how the
// state came there.
std::string lostParam(const std::vector<ParamReading>& saved, const std::vector<ParamReading>& restored,
                      const std::string& into) {
    for (std::size_t i = 0; i < saved.size() && i < restored.size(); ++i) {
        const bool sameText = saved[i].text == restored[i].text;
        const bool close = std::abs(saved[i].value - restored[i].value) <= restoreTolerance;
        if (!sameText && !close) {
            return "parameter " + std::to_string(i) + " reads " + valueText(restored[i].value) + " ('" +
                   restored[i].text + "') after loading " + into + ", " + valueText(saved[i].value) + " ('" +
                   saved[i].text + "') when saved";
        }
    }
    return {};
}

// A new, prepared effect of the plug-in given `chunk`.
void restoreInto(PluginInstance& instance, const CheckContext& context, ChunkKind kind,
                 const std::vector<std::uint8_t>& chunk) {
    prepareInstance(instance, context.profile, 44100.0F, stateBlock);
    loadChunk(instance, kind, chunk);
}

// State through one kind of chunk, judged as a host and a listener see it: every parameter is
// written, then all are read back and the chunk saved; a new effect given the chunk reads back
// the same and sounds like the saved effect; the chunk that effect saves restores the same state
// again (its bytes may differ: a plug-in may add defaults or reorder on a later save).
CheckVerdict chunkRoundTrip(const CheckContext& context, ChunkKind kind) {
    const std::string name = chunkName(kind);
    const std::string into = "the " + name + " chunk into a new effect";
    PluginInstance original(context.entry);
    prepareInstance(original, context.profile, 44100.0F, stateBlock);
    Random random(context.seed);
    for (std::int32_t i = 0; i < original.paramCount(); ++i) {
        original.setParam(i, random.paramValue());
    }
    // Read only after every write: a write may change parameters written before it.
    const std::vector<ParamReading> savedReadings = readParams(original);
    const std::vector<std::uint8_t> saved = saveChunk(original, kind);
    if (saved.empty()) {
        return fail("state lost: the plug-in declares chunk programs but saved no " + name + " chunk (" +
                    chunkRequest(reqSaveChunk, kind) + ")");
    }
    const auto savedSound = renderState(original);
    original.close();

    PluginInstance restored(context.entry);
    restoreInto(restored, context, kind, saved);
    std::string lost = lostParam(savedReadings, readParams(restored), into);
    if (!lost.empty()) {
        return fail("state lost: " + lost);
    }
    const std::vector<std::uint8_t> again = saveChunk(restored, kind);
    const auto restoredSound = renderState(restored);
    restored.close();

    // The chunk saved by the restored effect, given to another new effect: the same state.
    PluginInstance reRestored(context.entry);
    restoreInto(reRestored, context, kind, again);
    lost = lostParam(savedReadings, readParams(reRestored),
                     "the " + name + " chunk saved again after a restore (" + std::to_string(again.size()) + " bytes)");
    if (!lost.empty()) {
        return fail("state lost: " + lost);
    }
    const std::string resaved = again == saved ? "re-saved identically" : "re-saved to the same state";

    const SoundDifference difference = secondHalfDifference(savedSound, restoredSound);
    if (difference.largest == 0.0) {
        return pass(name + ": " + std::to_string(saved.size()) + "-byte chunk, " + resaved + ", sound identical");
    }
    if (difference.largest <= soundTolerance) {
        return pass(name + ": " + std::to_string(saved.size()) + "-byte chunk, " + resaved +
                    ", sound within 1e-4 (largest difference " + std::to_string(difference.largest) + ")");
    }
    // Differing more: a plug-in that differs from itself (noise, random modulation) is judged
    // against its own variation, measured between two effects given the same chunk.
    const auto againSound = renderState(reRestored);
    const SoundDifference own = secondHalfDifference(restoredSound, againSound);
    if (own.largest > 0.0 && difference.rms <= ownVariationFactor * own.rms + soundTolerance) {
        return pass(name + ": " + std::to_string(saved.size()) + "-byte chunk, " + resaved +
                    ", sound within the plug-in's own variation (not deterministic: root mean square difference " +
                    std::to_string(difference.rms) + ", " + std::to_string(own.rms) + " between two restored effects)");
    }
    return fail("state lost: a new effect given the " + name +
                " chunk sounds otherwise than the effect that saved it (largest difference " +
                std::to_string(difference.largest) + " in the second half of 0.74 s" +
                (own.largest > 0.0 ? ", beyond the plug-in's own variation" : "") + ")");
}

CheckVerdict checkChunkState(const CheckContext& context) {
    {
        PluginInstance probe(context.entry);
        if ((probe.record().flags & flagChunkPrograms) == 0) {
            return skip("the plug-in declares no chunk programs: hosts keep its parameters");
        }
        if (!probe.canProcessFloat()) {
            return skip("the plug-in does not declare 32-bit processing");
        }
    }
    std::string sizes;
    for (const ChunkKind kind : {ChunkKind::bank, ChunkKind::program}) {
        CheckVerdict verdict = chunkRoundTrip(context, kind);
        if (verdict.status != CheckStatus::pass) {
            return verdict;
        }
        sizes += (sizes.empty() ? "" : ", ") + verdict.detail;
    }
    return pass(sizes + "; parameters as read before the save, in a new effect and after a re-save");
}

CheckVerdict checkPrograms(const CheckContext& context) {
    PluginInstance instance(context.entry);
    if (instance.programCount() < 2) {
        return skip("the plug-in has " + std::to_string(instance.programCount()) + " program");
    }
    if (!instance.canProcessFloat()) {
        return skip("the plug-in does not declare 32-bit processing");
    }
    constexpr std::int32_t block = 256;
    prepareInstance(instance, context.profile, 44100.0F, block);
    Channels<float> channels(instance, block);
    const std::int32_t programs = std::min<std::int32_t>(instance.programCount(), 64);
    std::vector<std::string> problems, longTexts;
    std::int64_t position = 0;
    for (std::int32_t p = 0; p < programs; ++p) {
        noteCheckProgress("program " + std::to_string(p));
        instance.dispatch(reqSelectProgram, 0, p);
        const std::intptr_t current = instance.dispatch(reqCurrentProgram);
        if (current != p) {
            problems.push_back("program " + std::to_string(p) + " selected, request 3 answers " +
                               std::to_string(current));
        }
        judgeText(instance.programName(), "program " + std::to_string(p) + "'s name", problems, longTexts);
        for (int k = 0; k < 8; ++k, position += block) {
            channels.fill(position, block);
            channels.process(instance, block);
            const std::string bad = channels.badSample(block);
            if (!bad.empty()) {
                return fail(bad + " after selecting program " + std::to_string(p) + " while processing");
            }
        }
    }
    if (!problems.empty()) {
        return fail(summarise(problems));
    }
    return textVerdict(problems, longTexts,
                       std::to_string(programs) + " programs selected while processing: finite output");
}

CheckVerdict checkOpenClose(const CheckContext& context) {
    constexpr int maxCycles = 1000;
    const Deadline deadline(busySeconds);
    int cycle = 0;
    for (; cycle < maxCycles && (cycle < 3 || !deadline.passed()); ++cycle) {
        noteCheckProgress("cycle " + std::to_string(cycle + 1));
        try {
            PluginInstance instance(context.entry);
            instance.open();
        } catch (const HostError& error) {
            return fail("cycle " + std::to_string(cycle + 1) + ": " + error.what());
        }
    }
    return pass(std::to_string(cycle) + " cycles");
}

}  // namespace

std::vector<CheckDefinition> stateChecks() {
    return {
        {"chunk-state",
         "where chunk programs are declared: a bank and a program chunk each restore the parameters as read back "
         "before the save and the saved effect's sound, also when saved again after a restore",
         checkChunkState},
        {"programs", "every program selected while processing: finite output, the current program follows",
         checkPrograms},
        {"open-close", "open/close cycles for 1.5 s (at most 1,000)", checkOpenClose},
    };
}

}  // namespace quorvel::host
