#include "tests/host/minimal_plugin.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <type_traits>

#include "framework/request_codes.h"

namespace {

struct MinimalEffect {
    EffectRecord record{};  // first member: the record's address is the object's
    Faults faults;
    std::atomic<float> gain{0.5F};  // written from any thread, read while processing
    float savedGain = 0.0F;         // the chunk handed out by the last save
    std::intptr_t program = 0;      // of two
};

// The record is the first member of a standard-layout object, so its address is the object's.
static_assert(std::is_standard_layout_v<MinimalEffect>);

MinimalEffect* owner(EffectRecord* record) {
    return reinterpret_cast<MinimalEffect*>(record);
}

// Writes through a null pointer: the crash a host must survive. Left out of the undefined-
// behaviour sanitizer, which would otherwise end the process with its report first.
__attribute__((no_sanitize("undefined"))) void crash() {
    static int* volatile nowhere = nullptr;
    // cppcheck-suppress nullPointer ; the crash is this test plug-in's fault on purpose
    *nowhere = 1;
}

void copyText(void* ptr, const char* text) {
    if (ptr != nullptr) {
        std::strcpy(static_cast<char*>(ptr), text);
    }
}

// A title far longer than any buffer a host hands for one.
const std::string& overlongTitle() {
    static const std::string title(299, 'G');
    return title;
}

std::intptr_t dispatch(EffectRecord* record, std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                       float /*opt*/) {
    MinimalEffect* effect = owner(record);
    if (effect->faults.chatty && request == reqOpen) {
        std::printf("minimal: opened\n");
        std::fprintf(stderr, "minimal: hello from the error stream\n");
    }
    switch (request) {
    case reqClose:
        delete effect;
        return 1;
    case reqParamTitle:
        if (index == 0) {
            copyText(ptr, effect->faults.overlongTitle ? overlongTitle().c_str() : "Gain");
        }
        return 0;
    case reqParamUnit:
        if (index == 0) {
            copyText(ptr, effect->faults.longUnit ? "times the in" : "x");
        }
        return 0;
    case reqParamValueText:
        if (index == 0) {
            copyText(ptr, effect->gain.load() > 0.5F ? "high" : "low");
        }
        return 0;
    case reqSelectProgram:
        effect->program = value == 1 ? 1 : 0;
        return 0;
    case reqCurrentProgram:
        return effect->program;
    case reqProgramName:
        copyText(ptr, effect->program == 0 ? "First" : "Second");
        return 0;
    case reqSaveChunk:
        // The state is the gain: handed out as four bytes that stay valid until the next save.
        effect->savedGain = effect->gain.load();
        *static_cast<void**>(ptr) = &effect->savedGain;
        return sizeof effect->savedGain;
    case reqLoadChunk:
        if (value == sizeof(float) && !effect->faults.losesChunkState &&
            !(index == 1 && effect->faults.losesProgramChunks)) {
            float gain = 0.0F;
            std::memcpy(&gain, ptr, sizeof gain);
            effect->gain.store(gain);
        }
        return 0;
    case reqEffectName:
    case reqProductText:
        copyText(ptr, "Minimal");
        return 1;
    case reqVendorText:
        copyText(ptr, "Test Bench");
        return 1;
    case reqVendorVersion:
        return 1;
    case reqInterfaceVersion:
        return 2400;
    case reqVendorCall:
        if (effect->faults.crashesOnVendorCall) {
            crash();
        }
        return 0;
    default:
        return 0;
    }
}

void setParam(EffectRecord* record, std::int32_t index, float value) {
    if (index == 0) {
        owner(record)->gain.store(value, std::memory_order_relaxed);
    }
}

float getParam(EffectRecord* record, std::int32_t index) {
    return index == 0 ? owner(record)->gain.load(std::memory_order_relaxed) : 0.0F;
}

template <typename Sample>
void process(EffectRecord* record, Sample** inputs, Sample** outputs, std::int32_t frameCount) {
    const MinimalEffect* effect = owner(record);
    const double gain = effect->gain.load(std::memory_order_relaxed);
    if (effect->faults.chatty) {
        std::printf("minimal: %d frames\n", static_cast<int>(frameCount));
    }
    if (effect->faults.hangsOnLongBlocks && frameCount >= 4096) {
        static volatile bool released = false;  // never set: the call waits for ever
        while (!released) {}
    }
    if (effect->faults.allocatesWhileProcessing) {
        // Kept in a volatile so that the compiler cannot drop the allocation.
        static void* volatile scratch = nullptr;
        scratch = std::malloc(sizeof(Sample) * (static_cast<std::size_t>(frameCount) + 1));
        std::free(scratch);
    }
    for (int c = 0; c < 2; ++c) {
        for (std::int32_t k = 0; k < frameCount; ++k) {
            outputs[c][k] = effect->faults.nanOutput ? std::numeric_limits<Sample>::quiet_NaN()
                                                     : static_cast<Sample>(inputs[c][k] * gain);
        }
    }
}

void processAccumulate(EffectRecord* /*record*/, float** /*inputs*/, float** /*outputs*/, std::int32_t /*frames*/) {}

}  // namespace

EffectRecord* createMinimalEffect(HostCallback host, const Faults& faults) {
    if (host(nullptr, hostReqVersion, 0, 0, nullptr, 0.0F) == 0) {
        return nullptr;
    }
    auto* effect = new (std::nothrow) MinimalEffect;
    if (effect == nullptr) {
        return nullptr;
    }
    effect->faults = faults;
    EffectRecord& record = effect->record;
    record.magic = faults.wrongMagic ? fourCharCode('B', 'a', 'd', '!') : recordMagic;
    record.dispatchEntry = dispatch;
    record.processAccumulateEntry = processAccumulate;
    record.setParamEntry = setParam;
    record.getParamEntry = getParam;
    record.programCount = 2;
    record.paramCount = 1;
    record.inputCount = 2;
    record.outputCount = 2;
    record.flags = flagCanFloatReplacing | flagCanDoubleReplacing | (faults.chunkPrograms ? flagChunkPrograms : 0);
    record.ioRatio = 1.0F;
    record.uniqueId = fourCharCode('M', 'n', 'm', 'l');
    record.version = 1;
    record.processFloatEntry = process<float>;
    record.processDoubleEntry = process<double>;
    return &record;
}
