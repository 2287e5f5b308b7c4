// Construction of AudioEffectX and the defaults of its added operations that do not call
// the host.
#include "framework/audio_effect_x.h"

AudioEffectX::AudioEffectX(HostCallback host, std::int32_t programCount, std::int32_t paramCount)
    : AudioEffect(host, programCount, paramCount) {}

AudioEffectX::~AudioEffectX() = default;

bool AudioEffectX::isParamAutomatable(std::int32_t /*index*/) {
    return true;
}
bool AudioEffectX::paramFromText(std::int32_t /*index*/, char* /*text*/) {
    return false;
}
bool AudioEffectX::fillParamProperties(std::int32_t /*index*/, void* /*properties*/) {
    return false;
}
bool AudioEffectX::fillProgramNameAt(std::int32_t /*value*/, std::int32_t /*index*/, char* /*text*/) {
    return false;
}
bool AudioEffectX::onProgramChangeStart() {
    return false;
}
bool AudioEffectX::onProgramChangeEnd() {
    return false;
}
std::int32_t AudioEffectX::onBankLoadStart(void* /*ptr*/) {
    return 0;
}
std::int32_t AudioEffectX::onProgramLoadStart(void* /*ptr*/) {
    return 0;
}
bool AudioEffectX::fillInputPinInfo(std::int32_t /*index*/, void* /*info*/) {
    return false;
}
bool AudioEffectX::fillOutputPinInfo(std::int32_t /*index*/, void* /*info*/) {
    return false;
}
bool AudioEffectX::acceptSpeakerLayout(SpeakerLayout* /*input*/, SpeakerLayout* /*output*/) {
    return false;
}

// The effect has no layouts to report. A null slot address is skipped rather than written
// through, so a careless host gets the answer 0 instead of a crash.
bool AudioEffectX::reportSpeakerLayout(SpeakerLayout** input, SpeakerLayout** output) {
    if (input != nullptr) {
        *input = nullptr;
    }
    if (output != nullptr) {
        *output = nullptr;
    }
    return false;
}

bool AudioEffectX::applyBypass(bool /*on*/) {
    return false;
}
bool AudioEffectX::applyPanLaw(std::int32_t /*value*/, float /*opt*/) {
    return false;
}
bool AudioEffectX::applyProcessPrecision(std::int32_t /*value*/) {
    return false;
}
std::int32_t AudioEffectX::midiInputChannelCount() {
    return 0;
}
std::int32_t AudioEffectX::midiOutputChannelCount() {
    return 0;
}
std::int32_t AudioEffectX::handleEvents(EventBlock* /*events*/) {
    return 0;
}
std::int32_t AudioEffectX::onProcessingStart() {
    return 0;
}
std::int32_t AudioEffectX::onProcessingStop() {
    return 0;
}
bool AudioEffectX::processVariableIo(void* /*ptr*/) {
    return false;
}
std::int32_t AudioEffectX::applyTotalSampleCount(std::int32_t value) {
    return value;
}

void AudioEffectX::declareInstrument(bool on) {
    changeFlag(flagInstrument, on);
}
void AudioEffectX::declareNoSoundInStop(bool on) {
    changeFlag(flagNoSoundInStop, on);
}
std::int32_t AudioEffectX::tailLength() {
    return 0;
}

bool AudioEffectX::fillEffectName(char* /*text*/) {
    return false;
}
bool AudioEffectX::fillVendorText(char* /*text*/) {
    return false;
}
bool AudioEffectX::fillProductText(char* /*text*/) {
    return false;
}
std::int32_t AudioEffectX::vendorVersion() {
    return 0;
}
std::int32_t AudioEffectX::vendorCall(std::int32_t /*index*/, std::int32_t /*value*/, void* /*ptr*/, float /*opt*/) {
    return 0;
}
std::int32_t AudioEffectX::supports(const char* /*capability*/) {
    return 0;
}
std::int32_t AudioEffectX::interfaceVersion() {
    return 2400;
}
std::int32_t AudioEffectX::category() {
    return (effectRecord.flags & flagInstrument) != 0 ? 2 : 0;
}

std::int32_t AudioEffectX::fillMidiProgramName(std::int32_t /*index*/, void* /*ptr*/) {
    return 0;
}
std::int32_t AudioEffectX::fillCurrentMidiProgram(std::int32_t /*index*/, void* /*ptr*/) {
    return -1;
}
std::int32_t AudioEffectX::fillMidiProgramCategory(std::int32_t /*index*/, void* /*ptr*/) {
    return 0;
}
bool AudioEffectX::midiProgramsChanged(std::int32_t /*index*/) {
    return false;
}
bool AudioEffectX::fillMidiKeyName(std::int32_t /*index*/, void* /*ptr*/) {
    return false;
}
std::int32_t AudioEffectX::nextShellPlugin(char* /*name*/) {
    return 0;
}

bool AudioEffectX::onOfflineNotify(void* /*ptr*/, std::int32_t /*value*/, bool /*flag*/) {
    return false;
}
bool AudioEffectX::onOfflinePrepare(void* /*ptr*/, std::int32_t /*value*/) {
    return false;
}
bool AudioEffectX::onOfflineRun(void* /*ptr*/, std::int32_t /*value*/) {
    return false;
}
std::int32_t AudioEffectX::offlinePassCount() {
    return 0;
}
std::int32_t AudioEffectX::offlineMetaPassCount() {
    return 0;
}

std::int32_t AudioEffectX::reservedValueOne() {
    return 1;
}
bool AudioEffectX::reservedFlagA(std::int32_t /*argument*/) {
    return false;
}
void AudioEffectX::onInputConnected(std::int32_t /*first*/, std::int32_t /*second*/) {}
void AudioEffectX::onOutputConnected(std::int32_t /*first*/, std::int32_t /*second*/) {}
void AudioEffectX::declareAsync(bool on) {
    changeFlag(flagAsync, on);
}
void AudioEffectX::declareExternalBuffer(bool on) {
    changeFlag(flagExternalBuffer, on);
}
std::int32_t AudioEffectX::reservedValueA() {
    return 0;
}
std::int32_t AudioEffectX::reservedValueB() {
    return 0;
}

void AudioEffectX::applyBlockSizeAndRate(std::int32_t blockSize, float sampleRate) {
    currentBlockSize = blockSize;
    currentSampleRate = sampleRate;
}

bool AudioEffectX::reservedFlagB(std::int32_t /*argument*/) {
    return false;
}
std::int32_t AudioEffectX::reservedValueC() {
    return 0;
}
bool AudioEffectX::reservedFlagC(std::int32_t /*first*/, std::int32_t /*second*/) {
    return false;
}
std::int32_t AudioEffectX::reservedValueD() {
    return 0;
}
bool AudioEffectX::reservedFlagD() {
    return false;
}
