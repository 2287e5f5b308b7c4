// Checks of the effect's state and lifetime: state saved and restored through chunks,
// program changes, and repeated creation and closing.
#include <cstring>

#include "framework/request_codes.h"
#include "host/check_isolation.h"
#include "host/validation_checks.h"
#include "host/validation_support.h"

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

// Where two chunks first differ, in words.
std::string chunkDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size()) {
        return std::to_string(a.size()) + " bytes, then " + std::to_string(b.size());
    }
    const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin());
    return "byte " + std::to_string(mismatch.first - a.begin()) + " of " + std::to_string(a.size()) + " differs";
}

constexpr std::int32_t stateBlock = 512;
constexpr int stateBlocks = 64;

// The output of a prepared effect for the test input, `stateBlocks` blocks of 32-bit samples.
std::vector<std::vector<float>> renderState(PluginInstance& instance) {
    Channels<float> channels(instance, stateBlock);
    std::vector<std::vector<float>> output;
    for (int block = 0; block < stateBlocks; ++block) {
        channels.fill(static_cast<std::int64_t>(block) * stateBlock, stateBlock);
        channels.process(instance, stateBlock);
        channels.keep(output, stateBlock);
    }
    return output;
}

// The largest difference between two outputs over their second half, where smoothing of
// the parameters' changes has settled.
double secondHalfDifference(const std::vector<std::vector<float>>& a, const std::vector<std::vector<float>>& b) {
    double largest = 0.0;
    for (std::size_t c = 0; c < a.size() && c < b.size(); ++c) {
        for (std::size_t k = a[c].size() / 2; k < a[c].size() && k < b[c].size(); ++k) {
            largest = std::max(largest, std::abs(static_cast<double>(a[c][k]) - b[c][k]));
        }
    }
    return largest;
}

// State through one kind of chunk: saved, loaded back and saved again identically, and a new
// effect given it holds the same parameters and sounds the same as one given the values.
CheckVerdict chunkRoundTrip(const CheckContext& context, ChunkKind kind) {
    const std::string name = chunkName(kind);
    std::vector<float> values;
    std::vector<std::uint8_t> saved;
    {
        PluginInstance original(context.entry);
        prepareInstance(original, context.profile, 44100.0F, stateBlock);
        Random random(context.seed);
        for (std::int32_t i = 0; i < original.paramCount(); ++i) {
            original.setParam(i, random.paramValue());
            values.push_back(original.param(i));
        }
        saved = saveChunk(original, kind);
        if (saved.empty()) {
            return fail("state lost: the plug-in declares chunk programs but saved no " + name + " chunk (" +
                        chunkRequest(reqSaveChunk, kind) + ")");
        }
        loadChunk(original, kind, saved);
        const std::vector<std::uint8_t> again = saveChunk(original, kind);
        if (again != saved) {
            return fail("state lost: the " + name + " chunk saved after loading it back differs (" +
                        chunkDifference(saved, again) + ", requests 23 and 24)");
        }
    }
    PluginInstance restored(context.entry);
    prepareInstance(restored, context.profile, 44100.0F, stateBlock);
    loadChunk(restored, kind, saved);
    for (std::int32_t i = 0; i < restored.paramCount(); ++i) {
        if (restored.param(i) != values[i]) {
            return fail("state lost: parameter " + std::to_string(i) + " reads " + valueText(restored.param(i)) +
                        " after loading the " + name + " chunk into a new effect, " + valueText(values[i]) +
                        " when saved");
        }
    }
    const auto restoredSound = renderState(restored);
    PluginInstance reference(context.entry);
    prepareInstance(reference, context.profile, 44100.0F, stateBlock);
    for (std::int32_t i = 0; i < reference.paramCount(); ++i) {
        reference.setParam(i, values[i]);
    }
    const auto referenceSound = renderState(reference);
    const double difference = secondHalfDifference(referenceSound, restoredSound);
    if (!(difference <= 1.0e-4)) {
        return fail("state lost: a new effect given the " + name +
                    " chunk sounds otherwise than one given the parameter values (largest difference " +
                    std::to_string(difference) + " in the second half of 0.74 s)");
    }
    return pass(name + ": " + std::to_string(saved.size()) + "-byte chunk");
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
    return pass(sizes + ": each saved, loaded and saved again identically; same parameters and sound in a new effect");
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
         "where chunk programs are declared: a bank and a program chunk each saved, loaded and saved again "
         "identically, and each restores parameters and sound",
         checkChunkState},
        {"programs", "every program selected while processing: finite output, the current program follows",
         checkPrograms},
        {"open-close", "open/close cycles for 1.5 s (at most 1,000)", checkOpenClose},
    };
}

}  // namespace quorvel::host
