// AudioEffectX: the extended effect base. Adds 102 operations with defaults after the 50 of
// AudioEffect, answers requests 25-79 and hands every other code to the base dispatch, and
// wraps every other host request in an operation.
//
// Threads: requests and host services run on the thread the host called in on, normally
// its main (user-interface) thread; nothing here locks.
#pragma once

#include <cstdint>

#include "framework/audio_effect.h"

struct SpeakerInfo;
struct SpeakerLayout;
struct TimeInfo;    // the host's transport record; only ever passed by pointer
struct EventBlock;  // a block of events; only ever passed by pointer

// Reads a pointer-sized integer (a host answer or a request's value) as a pointer to T.
// No test, no copy.
template <typename T>
T* pointerFromAnswer(const std::intptr_t* answer) {
    return reinterpret_cast<T*>(*answer);
}

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(HostCallback host, std::int32_t programCount, std::int32_t paramCount);
    ~AudioEffectX() override;

    // Answers requests 25-79; every other code goes to AudioEffect::dispatch unchanged.
    std::intptr_t dispatch(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                           float opt) override;
    // Asks the host for events when the effect is an instrument or its supports answers
    // exactly 1 to "receiveVstMidiEvent".
    void onActivate() override;

    // --- parameters and programs (requests 26, 27, 56, 29, 67, 68, 75, 76) ---
    // Whether the host may automate a parameter. Default: true for every index.
    virtual bool isParamAutomatable(std::int32_t index);
    // Sets a parameter from a text. Default: false, reads nothing.
    virtual bool paramFromText(std::int32_t index, char* text);
    // Fills the host's parameter-properties record. Default: false, writes nothing.
    virtual bool fillParamProperties(std::int32_t index, void* properties);
    // Host services: a parameter edit starts / ends (host requests 43, 44).
    virtual bool announceEditStart(std::int32_t index);
    virtual bool announceEditEnd(std::int32_t index);
    // Writes the name of program `index`. Default: false, writes nothing.
    virtual bool fillProgramNameAt(std::int32_t value, std::int32_t index, char* text);
    virtual bool onProgramChangeStart();
    virtual bool onProgramChangeEnd();
    virtual std::int32_t onBankLoadStart(void* ptr);
    virtual std::int32_t onProgramLoadStart(void* ptr);

    // --- host settings ---
    // Host services: tell the host the channel counts changed (13); refresh the sample rate
    // (16) and block size (17), keeping the stored value on a non-positive answer; the
    // host's latencies (18, 19).
    virtual bool announceIoChange();
    virtual float refreshSampleRate();
    virtual std::int32_t refreshBlockSize();
    virtual std::intptr_t hostInputLatency();
    virtual std::intptr_t hostOutputLatency();

    // --- pins and speakers (requests 33, 34, 42, 69) ---
    virtual bool fillInputPinInfo(std::int32_t index, void* info);
    virtual bool fillOutputPinInfo(std::int32_t index, void* info);
    // The host proposes layouts. Default: false.
    virtual bool acceptSpeakerLayout(SpeakerLayout* input, SpeakerLayout* output);
    // Reports the effect's layouts. Default: stores null through each non-null slot address,
    // answers false.
    virtual bool reportSpeakerLayout(SpeakerLayout** input, SpeakerLayout** output);

    // --- processing settings (requests 44, 74, 77, 78, 79) ---
    virtual bool applyBypass(bool on);
    virtual bool applyPanLaw(std::int32_t value, float opt);
    virtual bool applyProcessPrecision(std::int32_t value);
    virtual std::int32_t midiInputChannelCount();
    virtual std::int32_t midiOutputChannelCount();

    // --- host time and state ---
    // Host services: the host's time record (7), process level (23), automation state (24).
    virtual TimeInfo* hostTimeInfo(std::int32_t filter);
    virtual std::intptr_t hostProcessLevel();
    virtual std::intptr_t hostAutomationState();

    // --- events and processing (requests 25, 71, 72, 41, 73) ---
    virtual std::int32_t handleEvents(EventBlock* events);
    virtual std::int32_t onProcessingStart();
    virtual std::int32_t onProcessingStop();
    virtual bool processVariableIo(void* ptr);
    // Default: answers its argument unchanged.
    virtual std::int32_t applyTotalSampleCount(std::int32_t value);

    // --- host identity ---
    // Host services: vendor (32) and product (33) texts into `text`, vendor version (34),
    // vendor-specific call (35), capability question (37, exactly 0 or 1), language (38).
    virtual bool hostVendorText(char* text);
    virtual bool hostProductText(char* text);
    virtual std::intptr_t hostVendorVersion();
    virtual std::intptr_t hostVendorCall(std::int32_t index, std::intptr_t value, void* ptr, float opt);
    virtual std::int32_t hostSupports(const char* text);
    virtual std::intptr_t hostLanguage();

    // --- declarations ---
    virtual void declareInstrument(bool on);
    virtual void declareNoSoundInStop(bool on);
    // Request 52: the effect's tail in samples. Default: 0.
    virtual std::int32_t tailLength();
    // Host service: the host's directory record (41).
    virtual void* hostDirectory();

    // --- the effect's identity (requests 45, 47, 48, 49, 50, 51, 58, 35) ---
    // Write at most 32 (effect name) or 64 (vendor, product) characters and a zero.
    // Defaults: false, write nothing.
    virtual bool fillEffectName(char* text);
    virtual bool fillVendorText(char* text);
    virtual bool fillProductText(char* text);
    virtual std::int32_t vendorVersion();
    virtual std::int32_t vendorCall(std::int32_t index, std::int32_t value, void* ptr, float opt);
    // Whether the effect has a capability. Default: 0 for every text.
    virtual std::int32_t supports(const char* capability);
    // Default: 2400.
    virtual std::int32_t interfaceVersion();
    // 2 for an instrument, otherwise 0.
    virtual std::int32_t category();

    // --- MIDI programs (requests 62-66) ---
    virtual std::int32_t fillMidiProgramName(std::int32_t index, void* ptr);
    virtual std::int32_t fillCurrentMidiProgram(std::int32_t index, void* ptr);  // default -1
    virtual std::int32_t fillMidiProgramCategory(std::int32_t index, void* ptr);
    virtual bool midiProgramsChanged(std::int32_t index);
    virtual bool fillMidiKeyName(std::int32_t index, void* ptr);

    // --- editor-related host services (42, 15, 45, 46) ---
    virtual bool requestDisplayRefresh();
    virtual bool requestWindowSize(std::int32_t width, std::int32_t height);
    virtual bool openHostFileSelector(void* selector);
    virtual bool closeHostFileSelector(void* selector);

    // Request 70: writes the next shell plug-in's name. Default: 0, writes nothing.
    virtual std::int32_t nextShellPlugin(char* name);

    // --- speaker layouts (framework/speaker_layout.h): one heap block per layout, owned
    // by the slot that holds it. Called by the effect itself, on whichever thread it uses. ---
    // Fills the slot with a zeroed layout of `count` speakers and releases what it held.
    // False, with the slot exactly as it was, for a null slot address, a negative count, one
    // too large to address, or no memory.
    virtual bool allocSpeakerLayout(SpeakerLayout** layout, std::int32_t count);
    // Releases what the slot holds and empties it. Always true.
    virtual bool freeSpeakerLayout(SpeakerLayout** layout);
    // Copies one speaker; the name is cut to 63 characters and zero-padded. False for null.
    virtual bool copySpeakerInfo(SpeakerInfo* to, const SpeakerInfo* from);
    // Makes the slot hold a complete copy of `from` through the three operations above.
    // False, with the slot exactly as it was, for a null slot address, a null source or a
    // source count that allocSpeakerLayout refuses; false after a failed step; true,
    // changing nothing, when the slot already holds `from` itself.
    virtual bool matchSpeakerLayout(SpeakerLayout** to, const SpeakerLayout* from);

    // --- offline processing: host services (25-29) and requests 38-40 ---
    virtual bool hostOfflineRead(void* task, std::int32_t option, bool flag);
    virtual bool hostOfflineWrite(void* task, std::int32_t option);
    virtual bool hostOfflineStart(void* items, std::int32_t a, std::int32_t b);
    virtual std::int32_t hostOfflinePass();
    virtual std::int32_t hostOfflineMetaPass();
    virtual bool onOfflineNotify(void* ptr, std::int32_t value, bool flag);
    virtual bool onOfflinePrepare(void* ptr, std::int32_t value);
    virtual bool onOfflineRun(void* ptr, std::int32_t value);
    virtual std::int32_t offlinePassCount();
    virtual std::int32_t offlineMetaPassCount();

    // --- further host services ---
    // Asks the host for events (6).
    virtual void requestEvents(std::int32_t filter);
    // Tempo at a position (10), count of automatable parameters (11), quantization (12).
    virtual std::intptr_t hostTempoAt(std::int32_t position);
    virtual std::intptr_t hostAutomatableCount();
    virtual std::intptr_t hostParamQuantization();

    // Extension points nothing in the system reaches.
    virtual std::int32_t reservedValueOne();  // default 1
    virtual bool reservedFlagA(std::int32_t argument);

    // Host services: idle requested (14), neighbouring plug-ins (20, 21; the pin is not sent).
    virtual bool requestIdle();
    virtual EffectRecord* hostPreviousPlug(std::int32_t pin);
    virtual EffectRecord* hostNextPlug(std::int32_t pin);

    virtual void onInputConnected(std::int32_t first, std::int32_t second);
    virtual void onOutputConnected(std::int32_t first, std::int32_t second);

    // Host service: replacing or accumulating (22).
    virtual std::intptr_t hostReplaceOrAccumulate();

    virtual void declareAsync(bool on);
    virtual void declareExternalBuffer(bool on);
    virtual std::int32_t reservedValueA();
    virtual std::int32_t reservedValueB();

    // Host services: output sample rate (30), the host's speaker layouts (49, 31), windows (39, 40).
    virtual void requestOutputSampleRate(float rate);
    virtual SpeakerLayout* hostInputSpeakerLayout();
    virtual SpeakerLayout* hostOutputSpeakerLayout();
    virtual void* hostOpenWindow(void* description);
    virtual bool hostCloseWindow(void* description);

    // Stores both settings directly, without calling applyBlockSize or applySampleRate.
    virtual void applyBlockSizeAndRate(std::int32_t blockSize, float sampleRate);

    virtual bool reservedFlagB(std::int32_t argument);
    virtual std::int32_t reservedValueC();
    virtual bool reservedFlagC(std::int32_t first, std::int32_t second);
    virtual std::int32_t reservedValueD();
    virtual bool reservedFlagD();

    // Host service: hands the host a chunk file record (48); false for null.
    virtual bool hostChunkFile(void* data);

    // Sends a block of events to the host (8); true only for the answer 1.
    bool sendEventsToHost(EventBlock* events);
};
