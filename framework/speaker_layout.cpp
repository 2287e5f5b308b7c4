// Speaker layout utilities. A slot (a SpeakerLayout pointer owned by the effect) is either
// null or owns exactly one heap block of 8 + 112 count bytes made by allocSpeakerLayout.
// matchSpeakerLayout reaches the other three operations through their virtual entries, so
// an effect's overrides take part in it. No exception leaves any of them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "framework/audio_effect_x.h"
#include "framework/bounded_text.h"
#include "framework/speaker_layout.h"

namespace {

// Longest speaker name; the byte after it is always zero.
constexpr std::int32_t speakerNameLength = sizeof(SpeakerInfo::name) - 1;

// The largest count whose block size 8 + 112 count still fits the platform's size type.
constexpr std::size_t largestSpeakerCount =
    (std::numeric_limits<std::size_t>::max() - speakerLayoutHeaderSize) / speakerInfoSize;

// A count from the host is not trusted: a negative one, or one whose size wraps around,
// would give a block shorter than the speakers that matchSpeakerLayout then writes.
bool countFits(std::int32_t count) {
    return count >= 0 && static_cast<std::size_t>(count) <= largestSpeakerCount;
}

void releaseBlock(SpeakerLayout*& layout) {
    ::operator delete(static_cast<void*>(layout));
    layout = nullptr;
}

}  // namespace

bool AudioEffectX::allocSpeakerLayout(SpeakerLayout** layout, std::int32_t count) {
    if (layout == nullptr || !countFits(count)) {
        return false;
    }
    // An acceptable count replaces the layout: the old block goes first, so when no memory
    // is left for the new one the slot is empty rather than holding the old layout.
    if (*layout != nullptr) {
        releaseBlock(*layout);
    }
    const std::size_t size = speakerLayoutHeaderSize + speakerInfoSize * static_cast<std::size_t>(count);
    void* block = ::operator new(size, std::nothrow);
    if (block == nullptr) {
        return false;
    }
    std::memset(block, 0, size);
    *layout = static_cast<SpeakerLayout*>(block);
    (*layout)->count = count;
    return true;
}

bool AudioEffectX::freeSpeakerLayout(SpeakerLayout** layout) {
    if (layout != nullptr && *layout != nullptr) {
        releaseBlock(*layout);
    }
    return true;
}

bool AudioEffectX::copySpeakerInfo(SpeakerInfo* to, const SpeakerInfo* from) {
    if (to == nullptr || from == nullptr) {
        return false;
    }
    // Reads at most 63 characters of the source name, pads with zeros and ends the name at
    // byte 63 even when the source has no terminator there.
    copyBounded(to->name, from->name, speakerNameLength);
    to->type = from->type;
    to->value1 = from->value1;
    to->value2 = from->value2;
    to->value3 = from->value3;
    to->value4 = from->value4;
    std::memmove(to->reserved, from->reserved, sizeof to->reserved);
    return true;
}

bool AudioEffectX::matchSpeakerLayout(SpeakerLayout** to, const SpeakerLayout* from) {
    // A request that cannot succeed is refused before anything is released: the slot keeps
    // the layout it had.
    if (to == nullptr || from == nullptr || !countFits(from->count)) {
        return false;
    }
    // The slot already holds this very layout: releasing it first would leave nothing
    // to copy from, and it is already a complete copy of itself.
    if (*to == from) {
        return true;
    }
    if (!freeSpeakerLayout(to) || !allocSpeakerLayout(to, from->count) || *to == nullptr) {
        return false;
    }
    SpeakerLayout& copy = **to;
    copy.type = from->type;
    for (std::int32_t i = 0; i < copy.count; ++i) {
        if (!copySpeakerInfo(&copy.speaker(i), &from->speaker(i))) {
            return false;
        }
    }
    return true;
}
