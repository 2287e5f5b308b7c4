#include "tests/host/minimal_plugin.h"

#include <atomic>
#include <chrono>
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

// The rectangle an editor's size request answers a pointer to: top, left, bottom, right.
struct EditorRect {
    std::int16_t top, left, bottom, right;
};

// Parameters 1..3 of an effect with quirks.
constexpr std::int32_t switchParam = 1;
constexpr std::int32_t delayParam = 2;
constexpr std::int32_t linkParam = 3;
constexpr float secondsPerUnit = 0.9F;  // parameter 2's own unit, with otherUnits

struct MinimalEffect {
    EffectRecord record{};  // first member: the record's address is the object's
    Faults faults;
    Quirks quirks;
    std::atomic<float> gain{0.5F};       // written from any thread, read back
    std::atomic<float> heardGain{0.5F};  // the gain processing uses
    std::atomic<float> switchValue{0.0F};
    std::atomic<float> delayStored{0.0F};  // in seconds with otherUnits, else as written
    std::atomic<float> link{0.0F};
    float savedGain = 0.0F;               // the chunk handed out by the last save
    std::string savedText;                // the text chunk handed out by the last save (quirks)
    bool loadedChunk = false;             // a chunk was loaded: later saves gain an element (growingChunk)
    std::intptr_t program = 0;            // of two
    std::uint32_t noiseState = 1;         // audio thread
    std::int64_t frames = 0;              // processed so far, audio thread
    double tail[2] = {0.0, 0.0};          // stuckSubnormalTail's feedback, audio thread
    std::atomic<bool> firstBlock{false};  // set by an activation, for allocatesOnFirstBlock
    void* lazyBuffer = nullptr;           // what the first block allocates
    EditorRect editorRect{0, 0, 200, 300};
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

float delayValue(const MinimalEffect& effect) {
    const float stored = effect.delayStored.load(std::memory_order_relaxed);
    return effect.quirks.otherUnits ? stored / secondsPerUnit : stored;
}

void setDelay(MinimalEffect& effect, float value) {
    effect.delayStored.store(effect.quirks.otherUnits ? value * secondsPerUnit : value, std::memory_order_relaxed);
}

// The state of an effect with quirks as text.
std::string stateText(const MinimalEffect& effect) {
    const float on = effect.switchValue.load() >= 0.5F ? 1.0F : 0.0F;
    char text[160];
    std::snprintf(text, sizeof text,
                  effect.quirks.otherUnits ? "g=%.9g s=%.9g d=%.6g l=%.9g" : "g=%.9g s=%.9g d=%.9g l=%.9g",
                  static_cast<double>(effect.gain.load()),
                  static_cast<double>(effect.quirks.quantizingToggle ? on : effect.switchValue.load()),
                  static_cast<double>(effect.delayStored.load()), static_cast<double>(effect.link.load()));
    std::string state = text;
    if (effect.quirks.growingChunk && effect.loadedChunk) {
        state += " x=0";
    }
    return state;
}

void loadStateText(MinimalEffect& effect, const char* data, std::size_t size) {
    const std::string text(data, size);
    float gain = 0.0F, on = 0.0F, delay = 0.0F, link = 0.0F;
    if (std::sscanf(text.c_str(), "g=%f s=%f d=%f l=%f", &gain, &on, &delay, &link) == 4) {
        effect.gain.store(gain);
        effect.heardGain.store(gain);
        effect.switchValue.store(on);
        effect.delayStored.store(delay);
        effect.link.store(link);
        effect.loadedChunk = true;
    }
}

bool displayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// The editor of editorNeedsDisplay: without a display its window toolkit cannot start, and
// it crashes on the first editor request, as some real ones do.
std::intptr_t editorRequest(MinimalEffect& effect, std::int32_t request, void* ptr) {
    if (effect.quirks.editorNeedsDisplay && !displayAvailable()) {
        std::fprintf(stderr, "minimal: the window toolkit could not open a display\n");
        crash();
    }
    if (request == reqEditorBounds && ptr != nullptr) {
        *static_cast<EditorRect**>(ptr) = &effect.editorRect;
        return 1;
    }
    return request == reqEditorOpen ? (ptr != nullptr ? 1 : 0) : 1;
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
        std::free(effect->lazyBuffer);
        delete effect;
        return 1;
    case reqActivation:
        effect->firstBlock.store(value != 0);
        return 0;
    case reqEditorBounds:
    case reqEditorOpen:
    case reqEditorClose:
    case reqEditorIdle:
        if (effect->faults.editorCrashesOnClose && request == reqEditorClose) {
            crash();
        }
        return effect->quirks.editorNeedsDisplay || effect->faults.editorCrashesOnClose
                   ? editorRequest(*effect, request, ptr)
                   : 0;
    case reqParamTitle:
        if (index == 0) {
            copyText(ptr, effect->faults.overlongTitle ? overlongTitle().c_str() : "Gain");
        } else if (index == switchParam) {
            copyText(ptr, "Switch");
        } else if (index == delayParam) {
            copyText(ptr, "Delay");
        } else if (index == linkParam) {
            copyText(ptr, "Link");
        }
        return 0;
    case reqParamUnit:
        if (index == 0) {
            copyText(ptr, effect->faults.longUnit ? "times the in" : "x");
        }
        return 0;
    case reqParamValueText:
        if (ptr != nullptr && index == 0) {
            std::snprintf(static_cast<char*>(ptr), paramTextLength + 1, "%.3f",
                          static_cast<double>(effect->gain.load()));
        } else if (index == switchParam) {
            copyText(ptr, effect->switchValue.load() >= 0.5F ? "on" : "off");
        } else if (ptr != nullptr && index == delayParam) {
            std::snprintf(static_cast<char*>(ptr), paramTextLength + 1, "%ld/64",
                          std::lround(delayValue(*effect) * 64));
        } else if (ptr != nullptr && index == linkParam) {
            std::snprintf(static_cast<char*>(ptr), paramTextLength + 1, "%.4f",
                          static_cast<double>(effect->link.load()));
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
        if (effect->quirks.any()) {
            effect->savedText = stateText(*effect);
            *static_cast<void**>(ptr) = effect->savedText.data();
            return static_cast<std::intptr_t>(effect->savedText.size());
        }
        // The state is the gain: handed out as four bytes that stay valid until the next save.
        effect->savedGain = effect->gain.load();
        *static_cast<void**>(ptr) = &effect->savedGain;
        return sizeof effect->savedGain;
    case reqLoadChunk:
        if (effect->quirks.any() && ptr != nullptr && value > 0) {
            loadStateText(*effect, static_cast<const char*>(ptr), static_cast<std::size_t>(value));
        } else if (value == sizeof(float) && !effect->faults.losesChunkState &&
                   !(index == 1 && effect->faults.losesProgramChunks)) {
            float gain = 0.0F;
            std::memcpy(&gain, ptr, sizeof gain);
            effect->gain.store(gain);
            if (!effect->faults.restoresTextNotSound) {
                effect->heardGain.store(gain);
            }
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
    MinimalEffect& effect = *owner(record);
    switch (index) {
    case 0:
        effect.gain.store(value, std::memory_order_relaxed);
        effect.heardGain.store(value, std::memory_order_relaxed);
        break;
    case switchParam:
        effect.switchValue.store(value, std::memory_order_relaxed);
        break;
    case delayParam:
        setDelay(effect, value);
        break;
    case linkParam:
        effect.link.store(value, std::memory_order_relaxed);
        if (effect.quirks.linkedParams) {
            setDelay(effect, value);
        }
        break;
    default:
        break;
    }
}

float getParam(EffectRecord* record, std::int32_t index) {
    const MinimalEffect& effect = *owner(record);
    switch (index) {
    case 0:
        return effect.gain.load(std::memory_order_relaxed);
    case switchParam:
        return effect.switchValue.load(std::memory_order_relaxed);
    case delayParam:
        return delayValue(effect);
    case linkParam:
        return effect.link.load(std::memory_order_relaxed);
    default:
        return 0.0F;
    }
}

// A value in -0.5..0.5 from the effect's own generator (xorshift32).
double nextNoise(MinimalEffect& effect) {
    std::uint32_t& x = effect.noiseState;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return static_cast<double>(x) / 4294967295.0 - 0.5;
}

template <typename Sample>
void process(EffectRecord* record, Sample** inputs, Sample** outputs, std::int32_t frameCount) {
    MinimalEffect* effect = owner(record);
    double gain = effect->heardGain.load(std::memory_order_relaxed);
    if (effect->quirks.any()) {
        gain *= effect->switchValue.load(std::memory_order_relaxed) >= 0.5F ? -1.0 : 1.0;
        gain *= 1.0 - static_cast<double>(std::lround(delayValue(*effect) * 64)) / 128.0;
    }
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
    if (effect->quirks.allocatesOnFirstBlock && effect->firstBlock.exchange(false)) {
        std::free(effect->lazyBuffer);
        effect->lazyBuffer = std::malloc(4096);
    }
    for (int c = 0; c < 2; ++c) {
        for (std::int32_t k = 0; k < frameCount; ++k) {
            const Sample in = inputs[c][k];
            Sample out =
                effect->faults.nanOutput ? std::numeric_limits<Sample>::quiet_NaN() : static_cast<Sample>(in * gain);
            if (effect->faults.mixesAfterWriting && c == 1) {
                out += static_cast<Sample>(0.25 * inputs[0][k]);  // in place: output 0, already written
            }
            if (effect->faults.stuckSubnormalTail) {
                // Feedback that decays by 0.9 per frame and rounds to the smallest subnormal for ever.
                effect->tail[c] =
                    static_cast<double>(static_cast<Sample>(effect->tail[c]) * Sample(0.9) + Sample(0.1) * in);
                out = static_cast<Sample>(effect->tail[c]);
            }
            if (effect->quirks.noise) {
                out += static_cast<Sample>(1.0e-3 * nextNoise(*effect));
            }
            if (effect->quirks.rareSubnormals && c == 0 && in != Sample{0} && (effect->frames + k) % 4000 == 2000) {
                out = std::numeric_limits<Sample>::denorm_min() * 6;
            }
            outputs[c][k] = out;
        }
        if (effect->faults.writesPastOutputs) {
            outputs[c][frameCount] = Sample{0};
        }
    }
    effect->frames += frameCount;
}

void processAccumulate(EffectRecord* /*record*/, float** /*inputs*/, float** /*outputs*/, std::int32_t /*frames*/) {}

}  // namespace

EffectRecord* createMinimalEffect(HostCallback host, const Faults& faults, const Quirks& quirks) {
    if (host(nullptr, hostReqVersion, 0, 0, nullptr, 0.0F) == 0) {
        return nullptr;
    }
    auto* effect = new (std::nothrow) MinimalEffect;
    if (effect == nullptr) {
        return nullptr;
    }
    effect->faults = faults;
    effect->quirks = quirks;
    // A different noise in every effect, as from a generator seeded by the clock.
    effect->noiseState = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) | 1U;
    EffectRecord& record = effect->record;
    record.magic = faults.wrongMagic ? fourCharCode('B', 'a', 'd', '!') : recordMagic;
    record.dispatchEntry = dispatch;
    record.processAccumulateEntry = processAccumulate;
    record.setParamEntry = setParam;
    record.getParamEntry = getParam;
    record.programCount = 2;
    record.paramCount = quirks.any() ? 4 : 1;
    record.inputCount = 2;
    record.outputCount = 2;
    record.flags = flagCanFloatReplacing | flagCanDoubleReplacing |
                   (faults.chunkPrograms || quirks.any() ? flagChunkPrograms : 0) |
                   (quirks.editorNeedsDisplay || faults.editorCrashesOnClose ? flagHasEditor : 0);
    record.ioRatio = 1.0F;
    record.uniqueId = fourCharCode('M', 'n', 'm', 'l');
    record.version = 1;
    record.processFloatEntry = process<float>;
    record.processDoubleEntry = process<double>;
    return &record;
}
