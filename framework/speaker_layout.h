// Speaker arrangement records exchanged with the host by pointer. Neither record holds a
// pointer; both have the same layout on every platform and are checked below byte by byte.
//
// A SpeakerLayout is one block: an 8-byte header followed by `count` SpeakerInfo records,
// speaker i at byte offset 8 + 112 i. AudioEffectX's allocSpeakerLayout, freeSpeakerLayout,
// copySpeakerInfo and matchSpeakerLayout create, release, copy and duplicate them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// One speaker. The system copies every field and interprets none.
struct SpeakerInfo {
    float value1;
    float value2;
    float value3;
    float value4;
    char name[64];      // zero-terminated, at most 63 characters
    std::int32_t type;  // speaker type code
    std::uint8_t reserved[28];
};

// The header of an arrangement; the speakers follow it in the same block.
struct SpeakerLayout {
    std::int32_t type;   // arrangement type code; 0 after allocation
    std::int32_t count;  // number of SpeakerInfo records that follow

    // Speaker i, right after the header. The caller keeps i in 0..count-1.
    SpeakerInfo& speaker(std::int32_t i) {
        return reinterpret_cast<SpeakerInfo*>(reinterpret_cast<unsigned char*>(this) + sizeof(SpeakerLayout))[i];
    }
    const SpeakerInfo& speaker(std::int32_t i) const {
        return reinterpret_cast<const SpeakerInfo*>(reinterpret_cast<const unsigned char*>(this) +
                                                    sizeof(SpeakerLayout))[i];
    }
};

inline constexpr std::size_t speakerInfoSize = 112;
inline constexpr std::size_t speakerLayoutHeaderSize = 8;

static_assert(std::is_standard_layout_v<SpeakerInfo> && std::is_trivially_copyable_v<SpeakerInfo>);
static_assert(std::is_standard_layout_v<SpeakerLayout> && std::is_trivially_copyable_v<SpeakerLayout>);
static_assert(offsetof(SpeakerInfo, value1) == 0);
static_assert(offsetof(SpeakerInfo, value2) == 4);
static_assert(offsetof(SpeakerInfo, value3) == 8);
static_assert(offsetof(SpeakerInfo, value4) == 12);
static_assert(offsetof(SpeakerInfo, name) == 16);
static_assert(offsetof(SpeakerInfo, type) == 80);
static_assert(offsetof(SpeakerInfo, reserved) == 84);
static_assert(sizeof(SpeakerInfo) == speakerInfoSize);
static_assert(offsetof(SpeakerLayout, type) == 0);
static_assert(offsetof(SpeakerLayout, count) == 4);
static_assert(sizeof(SpeakerLayout) == speakerLayoutHeaderSize);
// The speakers start right after the header, suitably aligned.
static_assert(speakerLayoutHeaderSize % alignof(SpeakerInfo) == 0);
static_assert(sizeof(float) == 4);
