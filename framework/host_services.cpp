// The base host services: each tests hostCallback, then sends exactly one host request.
#include "framework/audio_effect.h"

std::intptr_t AudioEffect::callHost(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                                    float opt) {
    return hostCallback(&effectRecord, request, index, value, ptr, opt);
}

std::int32_t AudioEffect::hostVersion() {
    if (hostCallback == nullptr) {
        return 1;
    }
    // A host that answers 0 reads as version 1, like a missing host.
    const std::intptr_t answer = callHost(hostReqVersion);
    return answer == 0 ? 1 : static_cast<std::int32_t>(answer);
}

std::int32_t AudioEffect::hostCurrentId() {
    return hostCallback != nullptr ? static_cast<std::int32_t>(callHost(hostReqCurrentId)) : 0;
}

void AudioEffect::hostIdle() {
    if (hostCallback != nullptr) {
        callHost(hostReqIdle);
    }
}

// The host answers 0 for a connected pin, so the sense is inverted; without a host every
// pin counts as connected.
bool AudioEffect::isInputConnected(std::int32_t index) {
    return hostCallback == nullptr || callHost(hostReqPinConnected, index, 0) == 0;
}

bool AudioEffect::isOutputConnected(std::int32_t index) {
    return hostCallback == nullptr || callHost(hostReqPinConnected, index, 1) == 0;
}

void AudioEffect::writeParamAndNotify(std::int32_t index, float value) {
    writeParam(index, value);
    if (hostCallback != nullptr) {
        callHost(hostReqAutomate, index, 0, nullptr, value);
    }
}
