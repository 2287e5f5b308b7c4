// The binary record through which a host reaches an effect, the host's callback type,
// the capability flag bits, the six entry functions whose addresses the record carries and
// the lengths of the texts that requests exchange.
//
// Everything in this header crosses the boundary between host and plug-in: field widths
// and offsets are fixed and asserted below for 32-bit and 64-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

class AudioEffect;
struct EffectRecord;

// The host's function. Every host request passes the address of the effect's own record
// first; only the entry point's version question passes null. Answers a pointer-sized integer.
using HostCallback = std::intptr_t (*)(EffectRecord* record, std::int32_t request, std::int32_t index,
                                       std::intptr_t value, void* ptr, float opt);

// Entry function types stored in the record. Each takes the record's address first.
using DispatchEntry = std::intptr_t (*)(EffectRecord* record, std::int32_t request, std::int32_t index,
                                        std::intptr_t value, void* ptr, float opt);
using ProcessFloatEntry = void (*)(EffectRecord* record, float** inputs, float** outputs, std::int32_t frameCount);
using ProcessDoubleEntry = void (*)(EffectRecord* record, double** inputs, double** outputs, std::int32_t frameCount);
using SetParamEntry = void (*)(EffectRecord* record, std::int32_t index, float value);
using GetParamEntry = float (*)(EffectRecord* record, std::int32_t index);

// Marks a record: the bytes 50 74 73 56 in memory.
inline constexpr std::int32_t recordMagic = 0x56737450;

// Four-character codes: the first character in the most significant byte.
constexpr std::int32_t fourCharCode(char a, char b, char c, char d) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

// Capability bits of EffectRecord::flags. Each is changed only by its own declaring operation.
inline constexpr std::int32_t flagHasEditor = 0x1;
inline constexpr std::int32_t flagHasClip = 0x2;
inline constexpr std::int32_t flagHasVu = 0x4;
inline constexpr std::int32_t flagCanMono = 0x8;
inline constexpr std::int32_t flagCanFloatReplacing = 0x10;
inline constexpr std::int32_t flagChunkPrograms = 0x20;
inline constexpr std::int32_t flagInstrument = 0x100;
inline constexpr std::int32_t flagNoSoundInStop = 0x200;
inline constexpr std::int32_t flagAsync = 0x400;
inline constexpr std::int32_t flagExternalBuffer = 0x800;
inline constexpr std::int32_t flagCanDoubleReplacing = 0x1000;

// The record shared with the host, embedded in every AudioEffect object. The constructor
// clears every byte before it sets any field; fields not set there stay zero.
struct EffectRecord {
    std::int32_t magic;                        // recordMagic
    DispatchEntry dispatchEntry;               // numbered requests
    ProcessFloatEntry processAccumulateEntry;  // accumulating 32-bit processing
    SetParamEntry setParamEntry;               // parameter write
    GetParamEntry getParamEntry;               // parameter read
    std::int32_t programCount;                 // number of programs
    std::int32_t paramCount;                   // number of parameters
    std::int32_t inputCount;                   // audio input channels
    std::int32_t outputCount;                  // audio output channels
    std::int32_t flags;                        // capability bits (flag* above)
    std::intptr_t reserved1;                   // never written after construction
    std::intptr_t reserved2;                   // never written after construction
    std::int32_t latency;                      // initial output delay in samples
    std::int32_t realtimeQualities;            // stored for the host, not interpreted
    std::int32_t offlineQualities;             // stored for the host, not interpreted
    float ioRatio;                             // input/output ratio, 1.0
    AudioEffect* owner;                        // the object that embeds this record
    void* hostData;                            // the host's; the plug-in never touches it
    std::int32_t uniqueId;                     // four-character identity
    std::int32_t version;                      // the effect's version number
    ProcessFloatEntry processFloatEntry;       // replacing 32-bit processing
    ProcessDoubleEntry processDoubleEntry;     // replacing 64-bit processing
    std::uint8_t future[56];                   // reserved, all zero
};

// Text lengths, in characters without the terminating zero, that hosts give room for: each
// text buffer a request passes holds one more byte. An effect writes no longer texts.
inline constexpr std::int32_t paramTextLength = 8;     // parameter title, unit, value text (requests 6-8)
inline constexpr std::int32_t programNameLength = 24;  // program name (requests 4, 5, 29)
inline constexpr std::int32_t effectNameLength = 32;   // effect name (request 45)
inline constexpr std::int32_t vendorTextLength = 64;   // vendor and product texts (requests 47, 48)

static_assert(std::is_standard_layout_v<EffectRecord>);
static_assert(std::is_trivially_copyable_v<EffectRecord>);

// Byte offsets of every field, as the host reads them.
struct EffectRecordLayout {
    std::size_t magic, dispatchEntry, processAccumulateEntry, setParamEntry, getParamEntry, programCount, paramCount,
        inputCount, outputCount, flags, reserved1, reserved2, latency, realtimeQualities, offlineQualities, ioRatio,
        owner, hostData, uniqueId, version, processFloatEntry, processDoubleEntry, future, size;
};

inline constexpr EffectRecordLayout recordLayout32{0,  4,  8,  12, 16, 20, 24, 28, 32, 36, 40, 44,
                                                   48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 88, 144};
inline constexpr EffectRecordLayout recordLayout64{0,  8,  16, 24, 32, 40,  44,  48,  52,  56,  64,  72,
                                                   80, 84, 88, 92, 96, 104, 112, 116, 120, 128, 136, 192};
inline constexpr const EffectRecordLayout& recordLayout = sizeof(void*) == 4 ? recordLayout32 : recordLayout64;

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "records exist for 32-bit and 64-bit builds only");
static_assert(offsetof(EffectRecord, magic) == recordLayout.magic);
static_assert(offsetof(EffectRecord, dispatchEntry) == recordLayout.dispatchEntry);
static_assert(offsetof(EffectRecord, processAccumulateEntry) == recordLayout.processAccumulateEntry);
static_assert(offsetof(EffectRecord, setParamEntry) == recordLayout.setParamEntry);
static_assert(offsetof(EffectRecord, getParamEntry) == recordLayout.getParamEntry);
static_assert(offsetof(EffectRecord, programCount) == recordLayout.programCount);
static_assert(offsetof(EffectRecord, paramCount) == recordLayout.paramCount);
static_assert(offsetof(EffectRecord, inputCount) == recordLayout.inputCount);
static_assert(offsetof(EffectRecord, outputCount) == recordLayout.outputCount);
static_assert(offsetof(EffectRecord, flags) == recordLayout.flags);
static_assert(offsetof(EffectRecord, reserved1) == recordLayout.reserved1);
static_assert(offsetof(EffectRecord, reserved2) == recordLayout.reserved2);
static_assert(offsetof(EffectRecord, latency) == recordLayout.latency);
static_assert(offsetof(EffectRecord, realtimeQualities) == recordLayout.realtimeQualities);
static_assert(offsetof(EffectRecord, offlineQualities) == recordLayout.offlineQualities);
static_assert(offsetof(EffectRecord, ioRatio) == recordLayout.ioRatio);
static_assert(offsetof(EffectRecord, owner) == recordLayout.owner);
static_assert(offsetof(EffectRecord, hostData) == recordLayout.hostData);
static_assert(offsetof(EffectRecord, uniqueId) == recordLayout.uniqueId);
static_assert(offsetof(EffectRecord, version) == recordLayout.version);
static_assert(offsetof(EffectRecord, processFloatEntry) == recordLayout.processFloatEntry);
static_assert(offsetof(EffectRecord, processDoubleEntry) == recordLayout.processDoubleEntry);
static_assert(offsetof(EffectRecord, future) == recordLayout.future);
static_assert(sizeof(EffectRecord) == recordLayout.size);
static_assert(sizeof(float) == 4 && sizeof(double) == 8);
