// The host request helpers, one per kind of answer, and the base host services built on them.
#include "framework/audio_effect.h"

std::intptr_t AudioEffect::askHostInteger(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                                          float opt) {
    return hostCallback != nullptr ? hostCallback(&effectRecord, request, index, value, ptr, opt) : 0;
}

bool AudioEffect::askHostTruth(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr, float opt) {
    return askHostInteger(request, index, value, ptr, opt) != 0;
}

bool AudioEffect::askHostExactlyOne(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                                    float opt) {
    return askHostInteger(request, index, value, ptr, opt) == 1;
}

void AudioEffect::tellHost(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr, float opt) {
    askHostInteger(request, index, value, ptr, opt);
}

std::int32_t AudioEffect::hostVersion() {
    // A host that answers 0 reads as version 1, like a missing host.
    const std::intptr_t answer = askHostInteger(hostReqVersion);
    return answer == 0 ? 1 : static_cast<std::int32_t>(answer);
}

std::int32_t AudioEffect::hostCurrentId() {
    return static_cast<std::int32_t>(askHostInteger(hostReqCurrentId));
}

void AudioEffect::hostIdle() {
    tellHost(hostReqIdle);
}

// The host answers 0 for a connected pin, so the sense is inverted; without a host every
// pin counts as connected.
bool AudioEffect::isInputConnected(std::int32_t index) {
    return askHostInteger(hostReqPinConnected, index, 0) == 0;
}

bool AudioEffect::isOutputConnected(std::int32_t index) {
    return askHostInteger(hostReqPinConnected, index, 1) == 0;
}

void AudioEffect::writeParamAndNotify(std::int32_t index, float value) {
    writeParam(index, value);
    tellHost(hostReqAutomate, index, 0, nullptr, value);
}
