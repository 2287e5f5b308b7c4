// The extended host services. Each tests hostCallback, sends exactly one host request with
// 0, null or 0.0 for the arguments it does not use, and converts the answer by its kind:
// integer (unchanged; 0 without a host), truth (non-zero; false), exact one (only 1 is true),
// pointer (pointerFromAnswer; null), refresh (keeps the stored value unless the answer is
// positive) or none (answer ignored; nothing sent without a host).
#include <limits>

#include "framework/audio_effect_x.h"

namespace {

constexpr const char* receivesMidiEvents = "receiveVstMidiEvent";

}  // namespace

void AudioEffectX::onActivate() {
    if ((effectRecord.flags & flagInstrument) != 0 || supports(receivesMidiEvents) == 1) {
        requestEvents(1);
    }
}

bool AudioEffectX::announceEditStart(std::int32_t index) {
    return hostCallback != nullptr && callHost(hostReqEditStart, index) != 0;
}

bool AudioEffectX::announceEditEnd(std::int32_t index) {
    return hostCallback != nullptr && callHost(hostReqEditEnd, index) != 0;
}

bool AudioEffectX::announceIoChange() {
    return hostCallback != nullptr && callHost(hostReqIoChanged) != 0;
}

float AudioEffectX::refreshSampleRate() {
    if (hostCallback != nullptr) {
        const std::intptr_t answer = callHost(hostReqSampleRate);
        if (answer > 0) {
            currentSampleRate = static_cast<float>(answer);
        }
    }
    return currentSampleRate;
}

std::int32_t AudioEffectX::refreshBlockSize() {
    if (hostCallback != nullptr) {
        // Only a positive size that fits the stored field replaces it; on 64-bit hosts a
        // wider answer would otherwise be cut to an arbitrary, possibly negative, size.
        const std::intptr_t answer = callHost(hostReqBlockSize);
        if (answer > 0 && answer <= std::numeric_limits<std::int32_t>::max()) {
            currentBlockSize = static_cast<std::int32_t>(answer);
        }
    }
    return currentBlockSize;
}

std::intptr_t AudioEffectX::hostInputLatency() {
    return hostCallback != nullptr ? callHost(hostReqInputLatency) : 0;
}

std::intptr_t AudioEffectX::hostOutputLatency() {
    return hostCallback != nullptr ? callHost(hostReqOutputLatency) : 0;
}

TimeInfo* AudioEffectX::hostTimeInfo(std::int32_t filter) {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    const std::intptr_t answer = callHost(hostReqTimeInfo, 0, filter);
    return pointerFromAnswer<TimeInfo>(&answer);
}

std::intptr_t AudioEffectX::hostProcessLevel() {
    return hostCallback != nullptr ? callHost(hostReqProcessLevel) : 0;
}

std::intptr_t AudioEffectX::hostAutomationState() {
    return hostCallback != nullptr ? callHost(hostReqAutomationState) : 0;
}

bool AudioEffectX::hostVendorText(char* text) {
    return hostCallback != nullptr && callHost(hostReqVendorText, 0, 0, text) != 0;
}

bool AudioEffectX::hostProductText(char* text) {
    return hostCallback != nullptr && callHost(hostReqProductText, 0, 0, text) != 0;
}

std::intptr_t AudioEffectX::hostVendorVersion() {
    return hostCallback != nullptr ? callHost(hostReqVendorVersion) : 0;
}

std::intptr_t AudioEffectX::hostVendorCall(std::int32_t index, std::intptr_t value, void* ptr, float opt) {
    return hostCallback != nullptr ? callHost(hostReqVendorCall, index, value, ptr, opt) : 0;
}

std::int32_t AudioEffectX::hostSupports(const char* text) {
    // The host's text argument is untyped; the text itself is only read.
    return hostCallback != nullptr && callHost(hostReqSupports, 0, 0, const_cast<char*>(text)) != 0 ? 1 : 0;
}

std::intptr_t AudioEffectX::hostLanguage() {
    return hostCallback != nullptr ? callHost(hostReqLanguage) : 0;
}

void* AudioEffectX::hostDirectory() {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    const std::intptr_t answer = callHost(hostReqDirectory);
    return pointerFromAnswer<void>(&answer);
}

bool AudioEffectX::requestDisplayRefresh() {
    return hostCallback != nullptr && callHost(hostReqUpdateDisplay) != 0;
}

bool AudioEffectX::requestWindowSize(std::int32_t width, std::int32_t height) {
    return hostCallback != nullptr && callHost(hostReqSizeWindow, width, height) != 0;
}

bool AudioEffectX::openHostFileSelector(void* selector) {
    return hostCallback != nullptr && selector != nullptr && callHost(hostReqOpenFileSelector, 0, 0, selector) != 0;
}

bool AudioEffectX::closeHostFileSelector(void* selector) {
    return hostCallback != nullptr && selector != nullptr && callHost(hostReqCloseFileSelector, 0, 0, selector) != 0;
}

bool AudioEffectX::hostOfflineRead(void* task, std::int32_t option, bool flag) {
    return hostCallback != nullptr && callHost(hostReqOfflineRead, flag ? 1 : 0, option, task) != 0;
}

bool AudioEffectX::hostOfflineWrite(void* task, std::int32_t option) {
    return hostCallback != nullptr && callHost(hostReqOfflineWrite, 0, option, task) != 0;
}

bool AudioEffectX::hostOfflineStart(void* items, std::int32_t a, std::int32_t b) {
    return hostCallback != nullptr && callHost(hostReqOfflineStart, b, a, items) != 0;
}

std::int32_t AudioEffectX::hostOfflinePass() {
    return hostCallback != nullptr && callHost(hostReqOfflinePass) != 0 ? 1 : 0;
}

std::int32_t AudioEffectX::hostOfflineMetaPass() {
    return hostCallback != nullptr && callHost(hostReqOfflineMetaPass) != 0 ? 1 : 0;
}

void AudioEffectX::requestEvents(std::int32_t filter) {
    if (hostCallback != nullptr) {
        callHost(hostReqWantEvents, 0, filter);
    }
}

std::intptr_t AudioEffectX::hostTempoAt(std::int32_t position) {
    return hostCallback != nullptr ? callHost(hostReqTempoAt, 0, position) : 0;
}

std::intptr_t AudioEffectX::hostAutomatableCount() {
    return hostCallback != nullptr ? callHost(hostReqAutomatableCount) : 0;
}

std::intptr_t AudioEffectX::hostParamQuantization() {
    return hostCallback != nullptr ? callHost(hostReqParamQuantization) : 0;
}

bool AudioEffectX::requestIdle() {
    return hostCallback != nullptr && callHost(hostReqNeedIdle) != 0;
}

// The pin is accepted for symmetry with the host's interface but never sent.
EffectRecord* AudioEffectX::hostPreviousPlug(std::int32_t /*pin*/) {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    const std::intptr_t answer = callHost(hostReqPreviousPlug);
    return pointerFromAnswer<EffectRecord>(&answer);
}

EffectRecord* AudioEffectX::hostNextPlug(std::int32_t /*pin*/) {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    const std::intptr_t answer = callHost(hostReqNextPlug);
    return pointerFromAnswer<EffectRecord>(&answer);
}

std::intptr_t AudioEffectX::hostReplaceOrAccumulate() {
    return hostCallback != nullptr ? callHost(hostReqReplaceOrAccumulate) : 0;
}

void AudioEffectX::requestOutputSampleRate(float rate) {
    if (hostCallback != nullptr) {
        callHost(hostReqOutputSampleRate, 0, 0, nullptr, rate);
    }
}

SpeakerLayout* AudioEffectX::hostInputSpeakerLayout() {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    const std::intptr_t answer = callHost(hostReqInputSpeakerLayout);
    return pointerFromAnswer<SpeakerLayout>(&answer);
}

SpeakerLayout* AudioEffectX::hostOutputSpeakerLayout() {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    const std::intptr_t answer = callHost(hostReqOutputSpeakerLayout);
    return pointerFromAnswer<SpeakerLayout>(&answer);
}

void* AudioEffectX::hostOpenWindow(void* description) {
    if (hostCallback == nullptr) {
        return nullptr;
    }
    const std::intptr_t answer = callHost(hostReqOpenWindow, 0, 0, description);
    return pointerFromAnswer<void>(&answer);
}

bool AudioEffectX::hostCloseWindow(void* description) {
    return hostCallback != nullptr && callHost(hostReqCloseWindow, 0, 0, description) != 0;
}

bool AudioEffectX::hostChunkFile(void* data) {
    return hostCallback != nullptr && data != nullptr && callHost(hostReqChunkFile, 0, 0, data) != 0;
}

bool AudioEffectX::sendEventsToHost(EventBlock* events) {
    return hostCallback != nullptr && callHost(hostReqSendEvents, 0, 0, events) == 1;
}
