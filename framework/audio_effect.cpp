// Construction and destruction of AudioEffect, the six record entry functions, and the
// accessors, declarations and do-nothing defaults of the base operations.
#include "framework/audio_effect.h"

#include <cstring>

namespace {

// The record entries find the object through `owner` and forward the call unchanged: no
// checks, no copies, nothing allocated between host and effect. They are noexcept like the
// exported entry point: an exception escaping an effect ends the process here instead of
// unwinding through the host's frames.

std::intptr_t dispatchEntryFunction(EffectRecord* record, std::int32_t request, std::int32_t index, std::intptr_t value,
                                    void* ptr, float opt) noexcept {
    AudioEffect* effect = record->owner;
    const std::intptr_t answer = effect->dispatch(request, index, value, ptr, opt);
    if (request == reqClose) {
        // The close request ends the effect's life; the record goes with it.
        delete effect;
        return 1;
    }
    return answer;
}

void processAccumulateEntryFunction(EffectRecord* record, float** inputs, float** outputs,
                                    std::int32_t frameCount) noexcept {
    record->owner->processAccumulate(inputs, outputs, frameCount);
}

void setParamEntryFunction(EffectRecord* record, std::int32_t index, float value) noexcept {
    record->owner->writeParam(index, value);
}

float getParamEntryFunction(EffectRecord* record, std::int32_t index) noexcept {
    return record->owner->readParam(index);
}

void processFloatEntryFunction(EffectRecord* record, float** inputs, float** outputs,
                               std::int32_t frameCount) noexcept {
    record->owner->processFloatBlock(inputs, outputs, frameCount);
}

void processDoubleEntryFunction(EffectRecord* record, double** inputs, double** outputs,
                                std::int32_t frameCount) noexcept {
    record->owner->processDoubleBlock(inputs, outputs, frameCount);
}

}  // namespace

AudioEffect::AudioEffect(HostCallback host, std::int32_t programCount, std::int32_t paramCount)
    : hostCallback(host),
      editorObject(nullptr),
      currentSampleRate(44100.0F),
      currentBlockSize(1024),
      programTotal(programCount),
      paramTotal(paramCount),
      currentProgramIndex(0),
      effectRecord() {
    // Every byte, padding included, is zero before any field is set.
    std::memset(&effectRecord, 0, sizeof effectRecord);
    effectRecord.magic = recordMagic;
    effectRecord.dispatchEntry = dispatchEntryFunction;
    effectRecord.processAccumulateEntry = processAccumulateEntryFunction;
    effectRecord.setParamEntry = setParamEntryFunction;
    effectRecord.getParamEntry = getParamEntryFunction;
    effectRecord.programCount = programCount;
    effectRecord.paramCount = paramCount;
    effectRecord.inputCount = 1;
    effectRecord.outputCount = 2;
    effectRecord.ioRatio = 1.0F;
    effectRecord.owner = this;
    effectRecord.uniqueId = fourCharCode('N', 'o', 'E', 'f');
    effectRecord.version = 1;
    effectRecord.processFloatEntry = processFloatEntryFunction;
    // The constructor is still AudioEffect's, so this reaches AudioEffect's own declaration.
    AudioEffect::declareFloatReplacing(true);
    // Always present; flagCanDoubleReplacing tells the host whether it may use it.
    effectRecord.processDoubleEntry = processDoubleEntryFunction;
}

AudioEffect::~AudioEffect() {
    delete editorObject;
}

void AudioEffect::changeFlag(std::int32_t bit, bool on) {
    if (on) {
        effectRecord.flags |= bit;
    } else {
        effectRecord.flags &= ~bit;
    }
}

void AudioEffect::setEditor(EffectEditor* editor) {
    editorObject = editor;
    changeFlag(flagHasEditor, editor != nullptr);
}

void AudioEffect::onOpen() {}
void AudioEffect::onClose() {}
void AudioEffect::onDeactivate() {}
void AudioEffect::onActivate() {}

void AudioEffect::applySampleRate(float rate) {
    currentSampleRate = rate;
}

void AudioEffect::applyBlockSize(std::int32_t size) {
    currentBlockSize = size;
}

void AudioEffect::processDoubleBlock(double** /*inputs*/, double** /*outputs*/, std::int32_t /*frameCount*/) {}

void AudioEffect::writeParam(std::int32_t /*index*/, float /*value*/) {}

float AudioEffect::readParam(std::int32_t /*index*/) {
    return 0.0F;
}

std::int32_t AudioEffect::currentProgram() {
    return currentProgramIndex;
}

void AudioEffect::selectProgram(std::int32_t index) {
    currentProgramIndex = index;
}

void AudioEffect::renameProgram(char* /*name*/) {}

// The default texts are empty: a zero at the first position, the rest of the buffer untouched.
// A null buffer gets nothing.
void AudioEffect::fillProgramName(char* text) {
    if (text != nullptr) {
        text[0] = '\0';
    }
}

void AudioEffect::fillParamUnit(std::int32_t /*index*/, char* text) {
    if (text != nullptr) {
        text[0] = '\0';
    }
}

void AudioEffect::fillParamValueText(std::int32_t /*index*/, char* text) {
    if (text != nullptr) {
        text[0] = '\0';
    }
}

void AudioEffect::fillParamTitle(std::int32_t /*index*/, char* text) {
    if (text != nullptr) {
        text[0] = '\0';
    }
}

std::int32_t AudioEffect::saveChunk(void** /*data*/, bool /*flag*/) {
    return 0;
}

std::int32_t AudioEffect::loadChunk(void* /*data*/, std::int32_t /*size*/, bool /*flag*/) {
    return 0;
}

void AudioEffect::assignUniqueId(std::int32_t id) {
    effectRecord.uniqueId = id;
}

void AudioEffect::setInputCount(std::int32_t count) {
    effectRecord.inputCount = count;
}

void AudioEffect::setOutputCount(std::int32_t count) {
    effectRecord.outputCount = count;
}

void AudioEffect::declareFloatReplacing(bool on) {
    changeFlag(flagCanFloatReplacing, on);
}

void AudioEffect::declareDoubleReplacing(bool on) {
    changeFlag(flagCanDoubleReplacing, on);
}

void AudioEffect::declareChunkPrograms(bool on) {
    changeFlag(flagChunkPrograms, on);
}

void AudioEffect::setLatency(std::int32_t samples) {
    effectRecord.latency = samples;
}

EffectEditor* AudioEffect::editor() {
    return editorObject;
}

EffectRecord* AudioEffect::record() {
    return &effectRecord;
}

float AudioEffect::sampleRate() {
    return currentSampleRate;
}

std::int32_t AudioEffect::blockSize() {
    return currentBlockSize;
}

void AudioEffect::processAccumulate(float** /*inputs*/, float** /*outputs*/, std::int32_t /*frameCount*/) {}

float AudioEffect::readVu() {
    return 0.0F;
}

void AudioEffect::declareVu(bool on) {
    changeFlag(flagHasVu, on);
}

void AudioEffect::declareClip(bool on) {
    changeFlag(flagHasClip, on);
}

void AudioEffect::declareMono(bool on) {
    changeFlag(flagCanMono, on);
}

void AudioEffect::setRealtimeQualities(std::int32_t value) {
    effectRecord.realtimeQualities = value;
}

void AudioEffect::setOfflineQualities(std::int32_t value) {
    effectRecord.offlineQualities = value;
}
