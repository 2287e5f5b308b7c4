// Sequences of allocSpeakerLayout, freeSpeakerLayout, copySpeakerInfo and matchSpeakerLayout
// over a few slots, with random counts (bounded, negative ones included) and random speaker
// records: names with and without a terminator, any float bits, any type codes.
//
// A byte-exact model of every slot is kept beside it and compared after every step, so any
// stray write, short block (AddressSanitizer), lost or leaked layout (LeakSanitizer) or wrong
// copy shows up. Layouts are read as raw bytes at their fixed offsets: header 8 bytes,
// speaker i at 8 + 112 i; in a speaker the name is bytes 16..79 and byte 79 is always zero
// after a copy.
//
// Input: a sequence of steps, each starting with an operation byte (see make_seeds.py).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "effect/quorvel.h"
#include "framework/speaker_layout.h"
#include "fuzz_input.h"

namespace {

constexpr std::size_t headerSize = 8;
constexpr std::size_t infoSize = 112;
constexpr std::size_t nameOffset = 16;
constexpr std::size_t nameSize = 64;
constexpr std::int32_t largestCount = 512;  // 57 KB: every step stays cheap
constexpr std::size_t slotCount = 4;
constexpr std::size_t sourceCount = 2;

using Bytes = std::vector<std::uint8_t>;

std::size_t blockSize(std::int32_t count) {
    return headerSize + infoSize * static_cast<std::size_t>(count);
}

std::int32_t countOf(const std::uint8_t* layout) {
    std::int32_t count = 0;
    std::memcpy(&count, layout + 4, sizeof count);
    return count;
}

// What a speaker record reads after copySpeakerInfo from `from`: everything verbatim but
// the name, which keeps at most 63 characters up to its first zero and is zero after them.
std::array<std::uint8_t, infoSize> copiedInfo(const std::uint8_t* from) {
    std::array<std::uint8_t, infoSize> to{};
    std::memcpy(to.data(), from, infoSize);
    bool ended = false;
    for (std::size_t i = 0; i < nameSize; ++i) {
        ended = ended || i == nameSize - 1 || from[nameOffset + i] == 0;
        to[nameOffset + i] = ended ? 0 : from[nameOffset + i];
    }
    return to;
}

// A speaker record from the input: a name of 0..64 bytes (64 means no terminator), four
// floats of any bits, a type code, and reserved bytes from a seed.
void readInfo(FuzzInput& in, std::uint8_t* info) {
    std::memset(info, 0, infoSize);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint32_t bits = in.u32();
        std::memcpy(info + 4 * i, &bits, 4);
    }
    const std::size_t nameLength = in.u8() % (nameSize + 1);
    const std::uint8_t first = in.u8();
    for (std::size_t i = 0; i < nameLength; ++i) {
        info[nameOffset + i] = static_cast<std::uint8_t>('a' + (first + i * 5) % 26);
    }
    for (std::size_t i = nameLength; i < nameSize; ++i) {
        info[nameOffset + i] = i == nameLength ? 0 : static_cast<std::uint8_t>(first + i);  // junk after the zero
    }
    const std::int32_t type = in.i32();
    std::memcpy(info + 80, &type, 4);
    const std::uint8_t reserved = in.u8();
    for (std::size_t i = 84; i < infoSize; ++i) {
        info[i] = static_cast<std::uint8_t>(reserved * 31 + i);
    }
}

class Session {
public:
    explicit Session(AudioEffectX& effect) : effect_(effect) {}

    ~Session() {
        for (SpeakerLayout*& slot : slots_) {
            effect_.freeSpeakerLayout(&slot);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void step(FuzzInput& in) {
        switch (in.u8() % 5) {
        case 0:
            alloc(in);
            break;
        case 1:
            free(in);
            break;
        case 2:
            match(in);
            break;
        case 3:
            copy(in);
            break;
        default:
            buildSource(in);
            break;
        }
        for (std::size_t s = 0; s < slotCount; ++s) {
            checkSlot(s);
        }
    }

private:
    void alloc(FuzzInput& in) {
        const std::size_t s = in.u8() % slotCount;
        const std::uint8_t choice = in.u8();
        const std::int32_t count = choice == 255   ? -1 - static_cast<std::int32_t>(in.u8())  // host misuse
                                   : choice == 254 ? in.i32() | static_cast<std::int32_t>(0x80000000)
                                                   : static_cast<std::int32_t>(in.u16() % (largestCount + 1));
        const bool answer = effect_.allocSpeakerLayout(&slots_[s], count);
        if (count < 0) {
            fuzzCheck(!answer, "a negative count made a layout");
            return;  // refused: the slot keeps what it held, as the model does
        }
        fuzzCheck(answer, "a layout of a bounded count could not be made");
        Bytes zeroed(blockSize(count), 0);
        std::memcpy(zeroed.data() + 4, &count, sizeof count);
        model_[s] = std::move(zeroed);
    }

    void free(FuzzInput& in) {
        const std::size_t s = in.u8() % slotCount;
        fuzzCheck(effect_.freeSpeakerLayout(&slots_[s]), "freeSpeakerLayout answered false");
        fuzzCheck(slots_[s] == nullptr, "freeSpeakerLayout left the slot full");
        model_[s].reset();
    }

    // The source of a match: a layout built from the input, another slot's (possibly this
    // very slot's) layout, or null.
    const SpeakerLayout* pickSource(std::uint8_t choice) const {
        if (choice < 128) {
            return reinterpret_cast<const SpeakerLayout*>(sources_[choice % sourceCount].get());
        }
        if (choice < 250) {
            return slots_[choice % slotCount];
        }
        return nullptr;
    }

    void match(FuzzInput& in) {
        const std::size_t s = in.u8() % slotCount;
        const SpeakerLayout* source = pickSource(in.u8());
        std::optional<Bytes> before;
        if (source != nullptr) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(source);
            before = Bytes(bytes, bytes + blockSize(countOf(bytes)));
        }
        const bool answer = effect_.matchSpeakerLayout(&slots_[s], source);
        if (source == nullptr) {
            fuzzCheck(!answer, "a match from null answered true");
            return;  // the slot keeps what it held
        }
        fuzzCheck(answer, "a match from a valid layout failed");
        // A complete copy of the source as it was: same header, every speaker as copied.
        Bytes copy(before->size(), 0);
        std::memcpy(copy.data(), before->data(), headerSize);
        for (std::size_t i = 0; i < static_cast<std::size_t>(countOf(before->data())); ++i) {
            const auto info = copiedInfo(before->data() + headerSize + infoSize * i);
            std::memcpy(copy.data() + headerSize + infoSize * i, info.data(), infoSize);
        }
        model_[s] = std::move(copy);
    }

    // A speaker record to copy to or from: one inside a slot's layout, a free-standing
    // record, or null.
    std::uint8_t* pickInfo(std::uint8_t choice, std::uint16_t position, std::optional<std::size_t>& slot) {
        slot.reset();
        if (choice < 100) {
            const std::size_t s = choice % slotCount;
            if (slots_[s] != nullptr && slots_[s]->count > 0) {
                slot = s;
                return reinterpret_cast<std::uint8_t*>(slots_[s]) + headerSize +
                       infoSize * (position % static_cast<std::size_t>(slots_[s]->count));
            }
        }
        if (choice < 200) {
            return standalone_[choice % standalone_.size()].bytes;
        }
        if (choice < 240) {
            auto* bytes = sources_[choice % sourceCount].get();
            const std::int32_t count = countOf(bytes);
            if (count > 0) {
                return bytes + headerSize + infoSize * (position % static_cast<std::size_t>(count));
            }
        }
        return nullptr;
    }

    void copy(FuzzInput& in) {
        std::optional<std::size_t> toSlot;
        std::optional<std::size_t> fromSlot;
        std::uint8_t* to = pickInfo(in.u8(), in.u16(), toSlot);
        const std::uint8_t fromChoice = in.u8();
        const std::uint16_t fromPosition = in.u16();
        // Now and then a record is copied onto itself.
        std::uint8_t* from = fromChoice == 255 ? to : pickInfo(fromChoice, fromPosition, fromSlot);
        std::array<std::uint8_t, infoSize> expected{};
        if (from != nullptr) {
            expected = copiedInfo(from);
        }
        const bool answer =
            effect_.copySpeakerInfo(reinterpret_cast<SpeakerInfo*>(to), reinterpret_cast<const SpeakerInfo*>(from));
        if (to == nullptr || from == nullptr) {
            fuzzCheck(!answer, "a copy with a null record answered true");
            return;
        }
        fuzzCheck(answer, "a copy between two records answered false");
        fuzzCheck(std::memcmp(to, expected.data(), infoSize) == 0, "a speaker record was copied wrongly");
        if (toSlot) {
            const std::size_t offset = static_cast<std::size_t>(to - reinterpret_cast<std::uint8_t*>(slots_[*toSlot]));
            std::memcpy(model_[*toSlot]->data() + offset, expected.data(), infoSize);
        }
    }

    void buildSource(FuzzInput& in) {
        const std::size_t k = in.u8() % sourceCount;
        const std::int32_t count = in.u8() % 17;
        const std::int32_t type = in.i32();
        // Exactly the size its header promises, so a read past it is caught.
        sources_[k].reset(new std::uint8_t[blockSize(count)]);
        std::uint8_t* bytes = sources_[k].get();
        std::memcpy(bytes, &type, 4);
        std::memcpy(bytes + 4, &count, 4);
        for (std::int32_t i = 0; i < count; ++i) {
            readInfo(in, bytes + headerSize + infoSize * static_cast<std::size_t>(i));
        }
    }

    void checkSlot(std::size_t s) const {
        if (!model_[s]) {
            fuzzCheck(slots_[s] == nullptr, "a slot holds a layout it should not");
            return;
        }
        fuzzCheck(slots_[s] != nullptr, "a slot lost its layout");
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(slots_[s]);
        fuzzCheck(std::memcmp(bytes, model_[s]->data(), model_[s]->size()) == 0, "a layout's bytes are wrong");
    }

    AudioEffectX& effect_;
    SpeakerLayout* slots_[slotCount] = {};
    std::optional<Bytes> model_[slotCount];
    std::unique_ptr<std::uint8_t[]> sources_[sourceCount] = {std::make_unique<std::uint8_t[]>(headerSize),
                                                             std::make_unique<std::uint8_t[]>(headerSize)};
    // Free-standing records, aligned as the type they stand for.
    struct alignas(SpeakerInfo) RawInfo {
        std::uint8_t bytes[infoSize];
    };
    std::array<RawInfo, 2> standalone_{};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::unique_ptr<AudioEffect> effect(createEffect(nullptr));
    fuzzCheck(effect != nullptr, "no effect");
    Session session(*static_cast<AudioEffectX*>(effect.get()));
    for (int steps = 0; steps < 128 && !in.empty(); ++steps) {
        session.step(in);
    }
    return 0;
}
