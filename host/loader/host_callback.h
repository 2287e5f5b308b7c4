// The stand-in host's side of the conversation: the callback a plug-in calls back through,
// and the settings it answers from.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/effect_record.h"

namespace quorvel::host {

// The version this host reports when a plug-in asks.
inline constexpr std::intptr_t hostVersionAnswer = 2400;

// The host's engine settings. The host runs at one sample rate and one block size at a time,
// as a host's audio engine does; every effect it has created is told the same values.
// Written by the host's main thread, read by the callback on any thread.
struct HostSettings {
    std::atomic<float> sampleRate{44100.0F};
    std::atomic<std::int32_t> blockSize{512};
};

// The settings the callback answers from.
HostSettings& hostSettings();

// The host's callback, safe on any thread: version 2400, the sample rate (in whole hertz)
// and block size from hostSettings(), 0 to every other request. It never reads through the
// record pointer or any argument, so a plug-in cannot make it fault.
std::intptr_t hostCallback(EffectRecord* record, std::int32_t request, std::int32_t index, std::intptr_t value,
                           void* ptr, float opt);

// A host that answers 0 to everything, the version question included: an entry point given
// this callback must create no effect.
std::intptr_t refusingHostCallback(EffectRecord* record, std::int32_t request, std::int32_t index, std::intptr_t value,
                                   void* ptr, float opt);

}  // namespace quorvel::host
