// AudioEffectX: the extended effect base. Adds 102 operations with defaults after the 50 of
// AudioEffect, answers requests 25-79 and hands every other code to the base dispatch, and
// wraps every other host request in an operation.
//
// Who calls what. Each group of operations below is headed by one of three kinds:
//   [request]  only the dispatcher calls these, for the request codes given; an effect
//              overrides them to answer. Main thread, as the host sends requests.
//   [host]     an effect calls these; each sends the one host request given, on the calling
//              thread, and falls back to the default given when there is no host. Answer
//              kinds: integer (unchanged), truth (non-zero), exactly one (only 1 is true),
//              pointer (the answer read as a pointer) and none (the answer is ignored).
//   [effect]   an effect calls or overrides these; nothing in the framework reaches them
//              unless said. They run on whichever thread the effect uses.
// The operations keep the order of their slots in the table of virtual operations, which is
// why the kinds alternate. Nothing here locks.
#pragma once

#include <cstdint>

#include "framework/audio_effect.h"

struct SpeakerInfo;
struct SpeakerLayout;
struct TimeInfo;    // the host's transport record; only ever passed by pointer
struct EventBlock;  // a block of events; only ever passed by pointer

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(HostCallback host, std::int32_t programCount, std::int32_t paramCount);
    ~AudioEffectX() override;

    // Main thread. Answers requests 25-79 through the operations marked [request]; every
    // other code goes to AudioEffect::dispatch unchanged. Truth values answer 1 or 0.
    std::intptr_t dispatch(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                           float opt) override;
    // Main thread, request 12 with a non-zero value. Asks the host for events (requestEvents(1))
    // when the effect is an instrument or its supports answers exactly 1 to "receiveVstMidiEvent".
    void onActivate() override;

    // [request] Parameters.
    // Request 26. Whether the host may automate a parameter. Default: true for every index.
    virtual bool isParamAutomatable(std::int32_t index);
    // Request 27. Sets a parameter from a text. Default: false, reads nothing.
    virtual bool paramFromText(std::int32_t index, char* text);
    // Request 56. Fills the host's parameter-properties record. Default: false, writes nothing.
    virtual bool fillParamProperties(std::int32_t index, void* properties);

    // [host] Parameter edits. Truth; false without a host.
    // Host request 43: the user starts editing a parameter.
    virtual bool announceEditStart(std::int32_t index);
    // Host request 44: the user stops editing a parameter.
    virtual bool announceEditEnd(std::int32_t index);

    // [request] Programs.
    // Request 29 (value, index, ptr). Writes the name of program `index`. Default: false,
    // writes nothing.
    virtual bool fillProgramNameAt(std::int32_t value, std::int32_t index, char* text);
    // Request 67. A program change starts. Default: false.
    virtual bool onProgramChangeStart();
    // Request 68. A program change ended. Default: false.
    virtual bool onProgramChangeEnd();
    // Request 75. A bank is about to be loaded from the host's record. Default: 0.
    virtual std::int32_t onBankLoadStart(void* ptr);
    // Request 76. A program is about to be loaded from the host's record. Default: 0.
    virtual std::int32_t onProgramLoadStart(void* ptr);

    // [host] Host settings.
    // Host request 13: the channel counts changed. Truth; false without a host.
    virtual bool announceIoChange();
    // Host request 16: stores and answers the host's sample rate; a non-positive answer, or
    // no host, keeps and answers the stored rate.
    virtual float refreshSampleRate();
    // Host request 17: stores and answers the host's block size; an answer that is not
    // positive or does not fit 32 bits, or no host, keeps and answers the stored size.
    virtual std::int32_t refreshBlockSize();
    // Host request 18: the host's input latency in samples. Integer; 0 without a host.
    virtual std::intptr_t hostInputLatency();
    // Host request 19: the host's output latency in samples. Integer; 0 without a host.
    virtual std::intptr_t hostOutputLatency();

    // [request] Pins and speakers.
    // Request 33. Fills the host's record for input pin `index`. Default: false, writes nothing.
    virtual bool fillInputPinInfo(std::int32_t index, void* info);
    // Request 34. Fills the host's record for output pin `index`. Default: false, writes nothing.
    virtual bool fillOutputPinInfo(std::int32_t index, void* info);
    // Request 42 (input from value, output from ptr). The host proposes layouts. Default: false.
    virtual bool acceptSpeakerLayout(SpeakerLayout* input, SpeakerLayout* output);
    // Request 69 (slot addresses from value and ptr). Reports the effect's layouts. Default:
    // stores null through each non-null slot address, answers false.
    virtual bool reportSpeakerLayout(SpeakerLayout** input, SpeakerLayout** output);

    // [request] Processing settings.
    // Request 44 (value != 0). Bypass on or off. Default: false.
    virtual bool applyBypass(bool on);
    // Request 74 (value, opt). The host's pan law and gain. Default: false.
    virtual bool applyPanLaw(std::int32_t value, float opt);
    // Request 77 (value). The sample precision the host will process in. Default: false.
    virtual bool applyProcessPrecision(std::int32_t value);
    // Request 78. MIDI input channels the effect takes. Default: 0.
    virtual std::int32_t midiInputChannelCount();
    // Request 79. MIDI output channels the effect sends. Default: 0.
    virtual std::int32_t midiOutputChannelCount();

    // [host] Host time and state.
    // Host request 7 (filter as value): the host's time record. Pointer; null without a host.
    virtual TimeInfo* hostTimeInfo(std::int32_t filter);
    // Host request 23: the host's process level. Integer; 0 without a host.
    virtual std::intptr_t hostProcessLevel();
    // Host request 24: the host's automation state. Integer; 0 without a host.
    virtual std::intptr_t hostAutomationState();

    // [request] Events and processing.
    // Request 25. Takes a block of events. Default: 0, reads nothing.
    virtual std::int32_t handleEvents(EventBlock* events);
    // Request 71. Processing is about to start. Default: 0.
    virtual std::int32_t onProcessingStart();
    // Request 72. Processing stopped. Default: 0.
    virtual std::int32_t onProcessingStop();
    // Request 41. Processes a block of variable input and output lengths. Default: false.
    virtual bool processVariableIo(void* ptr);
    // Request 73 (value). The total sample count the host will process. Default: answers
    // `value` unchanged.
    virtual std::int32_t applyTotalSampleCount(std::int32_t value);

    // [host] Host identity.
    // Host request 32: the host's vendor text into `text`. Truth; false without a host.
    virtual bool hostVendorText(char* text);
    // Host request 33: the host's product text into `text`. Truth; false without a host.
    virtual bool hostProductText(char* text);
    // Host request 34: the host's vendor version. Integer; 0 without a host.
    virtual std::intptr_t hostVendorVersion();
    // Host request 35: a vendor-specific call with all four values. Integer; 0 without a host.
    virtual std::intptr_t hostVendorCall(std::int32_t index, std::intptr_t value, void* ptr, float opt);
    // Host request 37: whether the host has a capability. 1 for a non-zero answer, else 0;
    // 0 without a host.
    virtual std::int32_t hostSupports(const char* text);
    // Host request 38: the host's language. Integer; 0 without a host.
    virtual std::intptr_t hostLanguage();

    // [effect] Declarations. Each sets its flag bit when on, clears it otherwise, and changes
    // no other bit; the host is not told.
    // flagInstrument (0x100); category and onActivate read it.
    virtual void declareInstrument(bool on);
    // flagNoSoundInStop (0x200).
    virtual void declareNoSoundInStop(bool on);

    // [request] Request 52. The effect's tail in samples. Default: 0.
    virtual std::int32_t tailLength();

    // [host] Host request 41: the host's directory record. Pointer; null without a host.
    virtual void* hostDirectory();

    // [request] The effect's identity. Texts get at most effectNameLength (effect name) or
    // vendorTextLength (vendor, product) characters and a zero.
    // Request 45. Writes the effect's name. Default: false, writes nothing.
    virtual bool fillEffectName(char* text);
    // Request 47. Writes the vendor's name. Default: false, writes nothing.
    virtual bool fillVendorText(char* text);
    // Request 48. Writes the product's name. Default: false, writes nothing.
    virtual bool fillProductText(char* text);
    // Request 49. The effect's vendor version. Default: 0.
    virtual std::int32_t vendorVersion();
    // Request 50 (index, value, ptr, opt). A vendor-specific call. Default: 0.
    virtual std::int32_t vendorCall(std::int32_t index, std::int32_t value, void* ptr, float opt);
    // Request 51. Whether the effect has a capability; onActivate also asks it. Default: 0
    // for every text.
    virtual std::int32_t supports(const char* capability);
    // Request 58. The interface version the effect was built for. Default: 2400.
    virtual std::int32_t interfaceVersion();
    // Request 35. The effect's category. Default: 2 while flagInstrument is set, otherwise 0.
    virtual std::int32_t category();

    // [request] MIDI programs.
    // Request 62. Fills the host's record for a MIDI program name. Default: 0.
    virtual std::int32_t fillMidiProgramName(std::int32_t index, void* ptr);
    // Request 63. Fills the host's record for the current MIDI program. Default: -1.
    virtual std::int32_t fillCurrentMidiProgram(std::int32_t index, void* ptr);
    // Request 64. Fills the host's record for a MIDI program category. Default: 0.
    virtual std::int32_t fillMidiProgramCategory(std::int32_t index, void* ptr);
    // Request 65. Whether the MIDI programs changed. Default: false.
    virtual bool midiProgramsChanged(std::int32_t index);
    // Request 66. Fills the host's record for a MIDI key name. Default: false.
    virtual bool fillMidiKeyName(std::int32_t index, void* ptr);

    // [host] Editor support.
    // Host request 42: asks the host to redraw its display. Truth; false without a host.
    virtual bool requestDisplayRefresh();
    // Host request 15 (width as index, height as value): asks the host to resize the editor
    // window. Truth; false without a host.
    virtual bool requestWindowSize(std::int32_t width, std::int32_t height);
    // Host request 45: opens the host's file selector. Truth; false, sending nothing, for a
    // null selector or without a host.
    virtual bool openHostFileSelector(void* selector);
    // Host request 46: closes the host's file selector. Truth; false, sending nothing, for a
    // null selector or without a host.
    virtual bool closeHostFileSelector(void* selector);

    // [request] Request 70. Writes the next shell plug-in's name. Default: 0, writes nothing.
    virtual std::int32_t nextShellPlugin(char* name);

    // [effect] Speaker layouts (framework/speaker_layout.h): one heap block per layout, owned
    // by the slot that holds it. matchSpeakerLayout calls the other three as virtual
    // operations, so an effect's overrides take part in it.
    // Fills the slot with a zeroed layout of `count` speakers and releases what it held.
    // False, with the slot exactly as it was, for a null slot address, a negative count or
    // one too large to address; false with the slot empty (what it held released) when no
    // memory is left for an acceptable count.
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

    // [host] Offline processing. False / 0 without a host.
    // Host request 26 (flag as index, option as value, task as ptr): reads offline data. Truth.
    virtual bool hostOfflineRead(void* task, std::int32_t option, bool flag);
    // Host request 27 (option as value, task as ptr): writes offline data. Truth.
    virtual bool hostOfflineWrite(void* task, std::int32_t option);
    // Host request 25 (b as index, a as value, items as ptr): starts offline processing. Truth.
    virtual bool hostOfflineStart(void* items, std::int32_t a, std::int32_t b);
    // Host request 28: the current offline pass. 1 for a non-zero answer, else 0.
    virtual std::int32_t hostOfflinePass();
    // Host request 29: the current offline meta pass. 1 for a non-zero answer, else 0.
    virtual std::int32_t hostOfflineMetaPass();

    // [request] Offline processing.
    // Request 38 (ptr, value, index != 0). An offline notification. Default: false.
    virtual bool onOfflineNotify(void* ptr, std::int32_t value, bool flag);
    // Request 39 (ptr, value). Prepares offline processing. Default: false.
    virtual bool onOfflinePrepare(void* ptr, std::int32_t value);
    // Request 40 (ptr, value). Runs offline processing. Default: false.
    virtual bool onOfflineRun(void* ptr, std::int32_t value);
    // [effect] Offline passes the effect needs. Default: 0.
    virtual std::int32_t offlinePassCount();
    // [effect] Offline meta passes the effect needs. Default: 0.
    virtual std::int32_t offlineMetaPassCount();

    // [host] Events and tempo.
    // Host request 6 (filter as value): asks the host for events. None; sends nothing without
    // a host.
    virtual void requestEvents(std::int32_t filter);
    // Host request 10 (position as value): the tempo at a position. Integer; 0 without a host.
    virtual std::intptr_t hostTempoAt(std::int32_t position);
    // Host request 11: the count of automatable parameters. Integer; 0 without a host.
    virtual std::intptr_t hostAutomatableCount();
    // Host request 12: the host's parameter quantization. Integer; 0 without a host.
    virtual std::intptr_t hostParamQuantization();

    // [effect] Extension points. Default: 1; false.
    virtual std::int32_t reservedValueOne();
    virtual bool reservedFlagA(std::int32_t argument);

    // [host] Neighbours.
    // Host request 14: the effect wants idle time. Truth; false without a host.
    virtual bool requestIdle();
    // Host request 20: the previous plug-in's record (the pin is not sent). Pointer; null
    // without a host.
    virtual EffectRecord* hostPreviousPlug(std::int32_t pin);
    // Host request 21: the next plug-in's record (the pin is not sent). Pointer; null
    // without a host.
    virtual EffectRecord* hostNextPlug(std::int32_t pin);

    // [effect] Extension points: connection notes. Default: nothing.
    virtual void onInputConnected(std::int32_t first, std::int32_t second);
    virtual void onOutputConnected(std::int32_t first, std::int32_t second);

    // [host] Host request 22: whether the host replaces or accumulates. Integer; 0 without
    // a host.
    virtual std::intptr_t hostReplaceOrAccumulate();

    // [effect] Declarations, as above: flagAsync (0x400), flagExternalBuffer (0x800).
    virtual void declareAsync(bool on);
    virtual void declareExternalBuffer(bool on);
    // [effect] Extension points. Default: 0.
    virtual std::int32_t reservedValueA();
    virtual std::int32_t reservedValueB();

    // [host] Output and windows.
    // Host request 30 (rate as opt): the output sample rate the effect wants. None; sends
    // nothing without a host.
    virtual void requestOutputSampleRate(float rate);
    // Host request 49: the host's input speaker layout. Pointer; null without a host.
    virtual SpeakerLayout* hostInputSpeakerLayout();
    // Host request 31: the host's output speaker layout. Pointer; null without a host.
    virtual SpeakerLayout* hostOutputSpeakerLayout();
    // Host request 39: opens a window the description gives. Pointer; null without a host.
    virtual void* hostOpenWindow(void* description);
    // Host request 40: closes that window. Truth; false without a host.
    virtual bool hostCloseWindow(void* description);

    // [effect] Stores both settings directly, without calling applyBlockSize or
    // applySampleRate.
    virtual void applyBlockSizeAndRate(std::int32_t blockSize, float sampleRate);

    // [effect] Extension points. Default: false; 0; false; 0; false.
    virtual bool reservedFlagB(std::int32_t argument);
    virtual std::int32_t reservedValueC();
    virtual bool reservedFlagC(std::int32_t first, std::int32_t second);
    virtual std::int32_t reservedValueD();
    virtual bool reservedFlagD();

    // [host] Host request 48: hands the host a chunk file record. Truth; false, sending
    // nothing, for null or without a host.
    virtual bool hostChunkFile(void* data);

    // [host] Host request 8: sends a block of events to the host. Exactly one; false without
    // a host. Not virtual.
    bool sendEventsToHost(EventBlock* events);
};
