// The extended host services. Each sends exactly one host request through the helper named
// after the kind of its answer (AudioEffect's askHost* and tellHost), with 0, null or 0.0 for
// the arguments it does not use; without a host each sends nothing and gives its kind's
// fallback. Refreshes keep the stored value unless the answer is positive.
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
    return askHostTruth(hostReqEditStart, index);
}

bool AudioEffectX::announceEditEnd(std::int32_t index) {
    return askHostTruth(hostReqEditEnd, index);
}

bool AudioEffectX::announceIoChange() {
    return askHostTruth(hostReqIoChanged);
}

float AudioEffectX::refreshSampleRate() {
    const std::intptr_t answer = askHostInteger(hostReqSampleRate);
    if (answer > 0) {
        currentSampleRate = static_cast<float>(answer);
    }
    return currentSampleRate;
}

std::int32_t AudioEffectX::refreshBlockSize() {
    // Only a positive size that fits the stored field replaces it; on 64-bit hosts a wider
    // answer would otherwise be cut to an arbitrary, possibly negative, size.
    const std::intptr_t answer = askHostInteger(hostReqBlockSize);
    if (answer > 0 && answer <= std::numeric_limits<std::int32_t>::max()) {
        currentBlockSize = static_cast<std::int32_t>(answer);
    }
    return currentBlockSize;
}

std::intptr_t AudioEffectX::hostInputLatency() {
    return askHostInteger(hostReqInputLatency);
}

std::intptr_t AudioEffectX::hostOutputLatency() {
    return askHostInteger(hostReqOutputLatency);
}

TimeInfo* AudioEffectX::hostTimeInfo(std::int32_t filter) {
    return askHostPointer<TimeInfo>(hostReqTimeInfo, 0, filter);
}

std::intptr_t AudioEffectX::hostProcessLevel() {
    return askHostInteger(hostReqProcessLevel);
}

std::intptr_t AudioEffectX::hostAutomationState() {
    return askHostInteger(hostReqAutomationState);
}

bool AudioEffectX::hostVendorText(char* text) {
    return askHostTruth(hostReqVendorText, 0, 0, text);
}

bool AudioEffectX::hostProductText(char* text) {
    return askHostTruth(hostReqProductText, 0, 0, text);
}

std::intptr_t AudioEffectX::hostVendorVersion() {
    return askHostInteger(hostReqVendorVersion);
}

std::intptr_t AudioEffectX::hostVendorCall(std::int32_t index, std::intptr_t value, void* ptr, float opt) {
    return askHostInteger(hostReqVendorCall, index, value, ptr, opt);
}

std::int32_t AudioEffectX::hostSupports(const char* text) {
    // The host's text argument is untyped; the text itself is only read.
    return askHostTruth(hostReqSupports, 0, 0, const_cast<char*>(text)) ? 1 : 0;
}

std::intptr_t AudioEffectX::hostLanguage() {
    return askHostInteger(hostReqLanguage);
}

void* AudioEffectX::hostDirectory() {
    return askHostPointer<void>(hostReqDirectory);
}

bool AudioEffectX::requestDisplayRefresh() {
    return askHostTruth(hostReqUpdateDisplay);
}

bool AudioEffectX::requestWindowSize(std::int32_t width, std::int32_t height) {
    return askHostTruth(hostReqSizeWindow, width, height);
}

bool AudioEffectX::openHostFileSelector(void* selector) {
    return selector != nullptr && askHostTruth(hostReqOpenFileSelector, 0, 0, selector);
}

bool AudioEffectX::closeHostFileSelector(void* selector) {
    return selector != nullptr && askHostTruth(hostReqCloseFileSelector, 0, 0, selector);
}

bool AudioEffectX::hostOfflineRead(void* task, std::int32_t option, bool flag) {
    return askHostTruth(hostReqOfflineRead, flag ? 1 : 0, option, task);
}

bool AudioEffectX::hostOfflineWrite(void* task, std::int32_t option) {
    return askHostTruth(hostReqOfflineWrite, 0, option, task);
}

bool AudioEffectX::hostOfflineStart(void* items, std::int32_t a, std::int32_t b) {
    return askHostTruth(hostReqOfflineStart, b, a, items);
}

std::int32_t AudioEffectX::hostOfflinePass() {
    return askHostTruth(hostReqOfflinePass) ? 1 : 0;
}

std::int32_t AudioEffectX::hostOfflineMetaPass() {
    return askHostTruth(hostReqOfflineMetaPass) ? 1 : 0;
}

void AudioEffectX::requestEvents(std::int32_t filter) {
    tellHost(hostReqWantEvents, 0, filter);
}

std::intptr_t AudioEffectX::hostTempoAt(std::int32_t position) {
    return askHostInteger(hostReqTempoAt, 0, position);
}

std::intptr_t AudioEffectX::hostAutomatableCount() {
    return askHostInteger(hostReqAutomatableCount);
}

std::intptr_t AudioEffectX::hostParamQuantization() {
    return askHostInteger(hostReqParamQuantization);
}

bool AudioEffectX::requestIdle() {
    return askHostTruth(hostReqNeedIdle);
}

// The pin is accepted for symmetry with the host's interface but never sent.
EffectRecord* AudioEffectX::hostPreviousPlug(std::int32_t /*pin*/) {
    return askHostPointer<EffectRecord>(hostReqPreviousPlug);
}

EffectRecord* AudioEffectX::hostNextPlug(std::int32_t /*pin*/) {
    return askHostPointer<EffectRecord>(hostReqNextPlug);
}

std::intptr_t AudioEffectX::hostReplaceOrAccumulate() {
    return askHostInteger(hostReqReplaceOrAccumulate);
}

void AudioEffectX::requestOutputSampleRate(float rate) {
    tellHost(hostReqOutputSampleRate, 0, 0, nullptr, rate);
}

SpeakerLayout* AudioEffectX::hostInputSpeakerLayout() {
    return askHostPointer<SpeakerLayout>(hostReqInputSpeakerLayout);
}

SpeakerLayout* AudioEffectX::hostOutputSpeakerLayout() {
    return askHostPointer<SpeakerLayout>(hostReqOutputSpeakerLayout);
}

void* AudioEffectX::hostOpenWindow(void* description) {
    return askHostPointer<void>(hostReqOpenWindow, 0, 0, description);
}

bool AudioEffectX::hostCloseWindow(void* description) {
    return askHostTruth(hostReqCloseWindow, 0, 0, description);
}

bool AudioEffectX::hostChunkFile(void* data) {
    return data != nullptr && askHostTruth(hostReqChunkFile, 0, 0, data);
}

bool AudioEffectX::sendEventsToHost(EventBlock* events) {
    return askHostExactlyOne(hostReqSendEvents, 0, 0, events);
}
