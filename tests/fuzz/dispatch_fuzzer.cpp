// Drives one Quorvel through its record as an unpredictable host would: arbitrary sequences
// of numbered requests (any code, index, value and opt), parameter writes and reads, and short
// process blocks in both precisions, ending with the close request.
//
// Every pointer the host hands over points into a canary-guarded text buffer or at a valid
// pointer slot. After every step the harness checks that nothing outside what that request
// may write has changed (the buffer beyond the promised text size, the canaries, the slots,
// the record itself), that the parameters hold what was last written, that the frame counter
// advanced by exactly the processed frames, and that answers keep their fixed forms.
//
// Input: a sequence of steps, each starting with a step byte (see make_seeds.py).
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/quorvel.h"
#include "entry/plugin_main.h"
#include "framework/request_codes.h"
#include "fuzz_input.h"

namespace {

constexpr std::size_t canarySize = 64;
constexpr std::size_t dataSize = 1024;
constexpr std::size_t maxOffset = 256;  // a pointer always leaves at least 768 bytes behind it
constexpr std::uint8_t canaryByte = 0xC5;
constexpr std::int32_t counterCycle = Quorvel::counterLimit + 1;
constexpr std::int32_t maxFrames = 64;

// The text buffer a host passes: canaries on both sides of the data it may offer.
class GuardedBuffer {
public:
    GuardedBuffer() : block_(new std::uint8_t[2 * canarySize + dataSize]) {
        std::memset(block_, canaryByte, 2 * canarySize + dataSize);
    }
    ~GuardedBuffer() { delete[] block_; }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    std::uint8_t* data() { return block_ + canarySize; }

    // Fills the data with a letter pattern that shifts from step to step and holds no zero,
    // then ends it with a zero so any text read from it terminates.
    void refill(std::uint32_t step) {
        static const auto pattern = [] {
            std::array<std::uint8_t, dataSize + 26> letters{};
            for (std::size_t i = 0; i < letters.size(); ++i) {
                letters[i] = static_cast<std::uint8_t>('A' + (i * 7) % 26);
            }
            return letters;
        }();
        std::memcpy(data(), pattern.data() + step % 26, dataSize);
        data()[dataSize - 1] = 0;
    }

    bool canariesIntact() const {
        for (std::size_t i = 0; i < canarySize; ++i) {
            if (block_[i] != canaryByte || block_[canarySize + dataSize + i] != canaryByte) {
                return false;
            }
        }
        return true;
    }

private:
    std::uint8_t* block_;
};

// Pointer slots a host can hand over (requests 23 and 69 write pointers into them).
void* const slotSentinel = const_cast<char*>("slot sentinel: never a layout");
struct Slots {
    std::uint64_t canaryBefore = 0xC5C5C5C5C5C5C5C5;
    void* slots[3] = {};
    std::uint64_t canaryAfter = 0xC5C5C5C5C5C5C5C5;

    void reset() {
        for (void*& slot : slots) {
            slot = slotSentinel;
        }
    }
    bool canariesIntact() const { return canaryBefore == 0xC5C5C5C5C5C5C5C5 && canaryAfter == 0xC5C5C5C5C5C5C5C5; }
};

EffectRecord* currentRecord = nullptr;

// The host: answers the version question, and checks that every other host request comes
// with the effect's own record.
std::intptr_t fuzzHost(EffectRecord* record, std::int32_t request, std::int32_t, std::intptr_t, void*, float) {
    if (request == hostReqVersion && record == nullptr) {
        return 2400;
    }
    fuzzCheck(record != nullptr && record == currentRecord, "a host request came without the effect's record");
    return 0;
}

bool inParamRange(std::int32_t index) {
    return index >= 0 && index < Quorvel::paramCount;
}

bool inUnitRange(float value) {
    return value >= 0.0F && value <= 1.0F;
}

// Codes whose answer is a truth value.
bool answersTruth(std::int32_t code) {
    switch (code) {
    case reqEditorBounds:
    case reqEditorOpen:
    case reqParamAutomatable:
    case reqParamFromText:
    case reqProgramNameAt:
    case reqInputPinInfo:
    case reqOutputPinInfo:
    case reqOfflineNotify:
    case reqOfflinePrepare:
    case reqOfflineRun:
    case reqVariableIo:
    case reqSetSpeakerLayout:
    case reqBypass:
    case reqEffectName:
    case reqVendorText:
    case reqProductText:
    case reqParamProperties:
    case reqEditorKeyDown:
    case reqEditorKeyUp:
    case reqEditorKnobMode:
    case reqMidiProgramsChanged:
    case reqMidiKeyName:
    case reqProgramChangeStart:
    case reqProgramChangeEnd:
    case reqGetSpeakerLayout:
    case reqPanLaw:
    case reqProcessPrecision:
        return true;
    default:
        return false;
    }
}

// Codes that neither dispatch handles: always answered 0.
bool unhandled(std::int32_t code) {
    if (code < 0 || code > reqMidiOutputChannels) {
        return true;
    }
    for (const std::int32_t gap : {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57}) {
        if (code == gap) {
            return true;
        }
    }
    return false;
}

class Session {
public:
    explicit Session(EffectRecord* record) : record_(record), effect_(static_cast<Quorvel*>(record->owner)) {
        std::memcpy(recordImage_.data(), record_, sizeof(EffectRecord));
        for (std::int32_t i = 0; i < Quorvel::paramCount; ++i) {
            params_[i] = record_->getParamEntry(record_, i);
        }
        counter_ = effect_->frameCounterValue();
    }

    void step(FuzzInput& in) {
        ++steps_;
        switch (in.u8() % 5) {
        case 0:
        case 1:
            request(in);
            break;
        case 2:
            writeParam(in);
            break;
        case 3:
            readParam(in);
            break;
        default:
            process(in);
            break;
        }
        fuzzCheck(std::memcmp(recordImage_.data(), record_, sizeof(EffectRecord)) == 0,
                  "the record changed under a host call");
        fuzzCheck(buffer_.canariesIntact(), "a canary around the text buffer was overwritten");
        fuzzCheck(slots_.canariesIntact(), "a canary around the pointer slots was overwritten");
    }

    void close() {
        fuzzCheck(record_->dispatchEntry(record_, reqClose, 0, 0, nullptr, 0.0F) == 1, "close did not answer 1");
    }

private:
    static std::int32_t fuzzIndex(FuzzInput& in) {
        const std::uint8_t choice = in.u8();
        return choice < 224 ? static_cast<std::int32_t>(choice % 10) - 1 : in.i32();  // mostly -1..8
    }

    void request(FuzzInput& in) {
        const std::uint8_t codeChoice = in.u8();
        std::int32_t code = codeChoice < 240 ? static_cast<std::int32_t>(codeChoice % 90) - 5 : in.i32();
        if (code == reqClose) {
            code = reqOpen;  // only the session's end closes the effect
        }
        const std::uint8_t mode = in.u8();
        const std::int32_t index = (mode & 3) == 0 ? fuzzIndex(in) : (mode & 3) == 1 ? in.i32() : in.i8();
        std::intptr_t value = 0;
        switch ((mode >> 2) & 3) {
        case 0:
            value = in.i8();
            break;
        case 1:
            value = static_cast<std::intptr_t>(in.i64());
            break;
        case 2:
            value = in.u16();
            break;
        default:
            value = static_cast<std::intptr_t>(in.i32());
            break;
        }
        const bool slotPointer = ((mode >> 4) & 3) == 3;
        const float opt = (mode & 0x40) != 0 ? static_cast<float>(in.i8()) : in.f32();
        const std::size_t offset = in.u8() % maxOffset;

        buffer_.refill(steps_);
        slots_.reset();
        // The text the host offers at the pointer: up to 80 bytes of the input, then a zero.
        std::uint8_t* text = buffer_.data() + offset;
        const std::size_t textLength = in.u8() % 81;
        for (std::size_t i = 0; i < textLength; ++i) {
            text[i] = in.u8();
        }
        text[textLength] = 0;

        void* ptr = slotPointer ? static_cast<void*>(&slots_.slots[0]) : text;
        std::size_t mayWrite = 0;  // bytes from `text` the request may change
        bool fixedText = false;    // writes exactly mayWrite bytes, the last a zero
        switch (code) {
        case reqProgramName:
            ptr = text, mayWrite = programNameLength + 1, fixedText = true;
            break;
        case reqParamTitle:
            ptr = text, mayWrite = inParamRange(index) ? 9 : 0, fixedText = true;
            break;
        case reqParamUnit:
            ptr = text, mayWrite = inParamRange(index) ? 7 : 0;
            break;
        case reqParamValueText:
            ptr = text;
            mayWrite = !inParamRange(index) ? 0 : inUnitRange(params_[index]) ? 9 : dataSize - offset;
            break;
        case reqEffectName:
            ptr = text, mayWrite = 33, fixedText = true;
            break;
        case reqVendorText:
        case reqProductText:
            ptr = text, mayWrite = 65, fixedText = true;
            break;
        case reqSaveChunk:
            ptr = &slots_.slots[0];
            break;
        case reqLoadChunk:
            ptr = text;
            value = static_cast<std::intptr_t>(static_cast<std::uint64_t>(value) % (dataSize - offset));
            break;
        case reqSetSpeakerLayout:
            value = reinterpret_cast<std::intptr_t>(buffer_.data() + maxOffset);
            ptr = text;
            break;
        case reqGetSpeakerLayout:
            value = reinterpret_cast<std::intptr_t>(&slots_.slots[1]);
            ptr = &slots_.slots[2];
            break;
        default:
            break;
        }

        std::array<std::uint8_t, dataSize> before{};
        std::memcpy(before.data(), buffer_.data(), dataSize);
        const std::intptr_t answer = record_->dispatchEntry(record_, code, index, value, ptr, opt);

        // Nothing outside the text the request may write has changed.
        const std::size_t writableEnd = offset + mayWrite;
        fuzzCheck(
            std::memcmp(buffer_.data(), before.data(), offset) == 0 &&
                std::memcmp(buffer_.data() + writableEnd, before.data() + writableEnd, dataSize - writableEnd) == 0,
            "a request wrote outside the text it may write");
        if (mayWrite > 0) {
            fuzzCheck(std::memchr(text, 0, mayWrite) != nullptr, "a text was left without its terminating zero");
            if (fixedText) {
                fuzzCheck(text[mayWrite - 1] == 0, "a bounded text lacks the zero at its bound");
            }
        }

        checkAnswer(code, value, answer);
        if (code == reqGetSpeakerLayout) {
            fuzzCheck(slots_.slots[1] == nullptr && slots_.slots[2] == nullptr,
                      "request 69 did not store null into both slots");
        } else if (code == reqSaveChunk) {
            // A state block handed out must be readable for as many bytes as answered.
            if (answer > 0) {
                const auto* chunk = static_cast<const volatile std::uint8_t*>(slots_.slots[0]);
                std::uint8_t sum = 0;
                for (std::intptr_t i = 0; i < answer; ++i) {
                    sum = static_cast<std::uint8_t>(sum + chunk[i]);
                }
                (void)sum;
            }
        } else {
            for (void* slot : slots_.slots) {
                fuzzCheck(slot == slotSentinel, "a request wrote into a pointer slot");
            }
        }
    }

    void checkAnswer(std::int32_t code, std::intptr_t value, std::intptr_t answer) const {
        if (unhandled(code)) {
            fuzzCheck(answer == 0, "an unhandled code answered non-zero");
        } else if (answersTruth(code)) {
            fuzzCheck(answer == 0 || answer == 1, "a truth answer was neither 0 nor 1");
        }
        switch (code) {
        case reqCurrentProgram:
            fuzzCheck(answer == 0, "the one program is not the current one");
            break;
        case reqIdentify:
            fuzzCheck(answer == fourCharCode('N', 'v', 'E', 'f'), "request 22 did not answer 'NvEf'");
            break;
        case reqEffectName:
        case reqVendorText:
        case reqProductText:
        case reqParamAutomatable:
            fuzzCheck(answer == 1, "an identity or automatable question did not answer 1");
            break;
        case reqVendorVersion:
            fuzzCheck(answer == 1000, "the vendor version is not 1000");
            break;
        case reqInterfaceVersion:
            fuzzCheck(answer == 2400, "the interface version is not 2400");
            break;
        case reqCurrentMidiProgram:
            fuzzCheck(answer == -1, "request 63 did not answer -1");
            break;
        case reqTotalSampleCount:
            fuzzCheck(answer == static_cast<std::int32_t>(value), "request 73 did not answer its value");
            break;
        default:
            break;
        }
    }

    void writeParam(FuzzInput& in) {
        const std::int32_t index = fuzzIndex(in);
        const float value = in.f32();
        record_->setParamEntry(record_, index, value);
        if (inParamRange(index)) {
            params_[index] = value;
        }
    }

    void readParam(FuzzInput& in) {
        const std::int32_t index = fuzzIndex(in);
        const float read = record_->getParamEntry(record_, index);
        const float expected = inParamRange(index) ? params_[index] : -1.0F;
        fuzzCheck(std::bit_cast<std::uint32_t>(read) == std::bit_cast<std::uint32_t>(expected),
                  "a parameter read does not give what was last written");
    }

    template <typename Sample>
    void processIn(std::int32_t frames, bool inPlace, float scale, bool boundedGain) {
        const std::size_t length = frames > 0 ? static_cast<std::size_t>(frames) : 1;
        constexpr Sample untouched = static_cast<Sample>(-12345.0);
        std::vector<Sample> inL(length), inR(length), outL(length, untouched), outR(length, untouched);
        for (std::size_t k = 0; k < length; ++k) {
            inL[k] = static_cast<Sample>(scale * static_cast<float>(static_cast<int>(k % 9) - 4));
            inR[k] = static_cast<Sample>(scale * static_cast<float>(static_cast<int>(k % 5) - 2) * 0.5F);
        }
        const std::vector<Sample> originalL = inL, originalR = inR;
        Sample* ins[2] = {inL.data(), inR.data()};
        Sample* outs[2] = {inPlace ? inL.data() : outL.data(), inPlace ? inR.data() : outR.data()};
        if constexpr (sizeof(Sample) == sizeof(float)) {
            record_->processFloatEntry(record_, ins, outs, frames);
        } else {
            record_->processDoubleEntry(record_, ins, outs, frames);
        }

        if (frames <= 0) {
            const Sample expectedL = inPlace ? originalL[0] : untouched;
            const Sample expectedR = inPlace ? originalR[0] : untouched;
            fuzzCheck(std::memcmp(&outs[0][0], &expectedL, sizeof(Sample)) == 0 &&
                          std::memcmp(&outs[1][0], &expectedR, sizeof(Sample)) == 0,
                      "a block of no frames wrote a sample");
            return;
        }
        if (boundedGain) {
            // With every parameter in 0..1 no side's gain exceeds 1.
            for (std::size_t k = 0; k < length; ++k) {
                if (!std::isfinite(originalL[k]) || !std::isfinite(originalR[k])) {
                    continue;  // a huge scale overflowed the input itself
                }
                fuzzCheck(std::fabs(outs[0][k]) <= std::fabs(originalL[k]) &&
                              std::fabs(outs[1][k]) <= std::fabs(originalR[k]),
                          "an output sample exceeds its input with parameters in 0..1");
            }
        }
    }

    void process(FuzzInput& in) {
        const std::uint8_t mode = in.u8();
        const std::int32_t frames = static_cast<std::int32_t>(in.u8() % (maxFrames + 9)) - 8;  // -8..64
        const float scale = (mode & 4) != 0 ? in.f32() : 0.25F;
        bool boundedGain = std::isfinite(scale);
        for (const float value : params_) {
            boundedGain = boundedGain && inUnitRange(value);
        }
        if ((mode & 1) != 0) {
            processIn<double>(frames, (mode & 2) != 0, scale, boundedGain);
        } else {
            processIn<float>(frames, (mode & 2) != 0, scale, boundedGain);
        }
        if (frames > 0) {
            counter_ = (counter_ + frames) % counterCycle;
        }
        fuzzCheck(effect_->frameCounterValue() == counter_,
                  "the frame counter did not advance by the frames processed");
    }

    EffectRecord* record_;
    Quorvel* effect_;
    std::array<std::uint8_t, sizeof(EffectRecord)> recordImage_{};
    GuardedBuffer buffer_;
    Slots slots_;
    float params_[Quorvel::paramCount] = {};
    std::int32_t counter_ = 0;
    std::uint32_t steps_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    EffectRecord* record = VSTPluginMain(fuzzHost);
    fuzzCheck(record != nullptr, "the entry point answered null to a willing host");
    currentRecord = record;
    {
        Session session(record);
        for (int steps = 0; steps < 256 && !in.empty(); ++steps) {
            session.step(in);
        }
        session.close();
    }
    currentRecord = nullptr;
    return 0;
}
