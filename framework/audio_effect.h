// AudioEffect: the base of every effect. It embeds the EffectRecord the host sees, turns
// each host call arriving through the record into one virtual operation with a default,
// and wraps the basic host requests in operations.
//
// Threads: the host decides which of its threads calls which entry. By convention the
// processing operations run on the audio thread and everything else on the host's main
// (user-interface) thread; parameter writes may come from either. Nothing here locks.
#pragma once

#include <cstdint>

#include "framework/effect_editor.h"
#include "framework/effect_record.h"
#include "framework/request_codes.h"

// Reads a pointer-sized integer (a host answer or a request's value) as a pointer to T.
// No test, no copy.
template <typename T>
T* pointerFromAnswer(const std::intptr_t* answer) {
    return reinterpret_cast<T*>(*answer);
}

class AudioEffect {
public:
    // Builds the record: magic, entry functions, the two counts, one input and two outputs,
    // unique id 'NoEf', version 1 and flagCanFloatReplacing. The object must live on the heap:
    // the close request deletes it.
    // The six entry functions are noexcept: an exception thrown by a derived effect's
    // operation, or by a host callback the effect called, ends the process (std::terminate)
    // in the entry function instead of unwinding into the host's frames, which were not
    // built to pass it on. An effect that must survive a throw catches it itself.
    AudioEffect(HostCallback host, std::int32_t programCount, std::int32_t paramCount);
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // Deletes the editor, if any. The close request runs it through the record.
    virtual ~AudioEffect();

    // Main thread. Answers the numbered requests 0-24 by calling the operations below; every
    // other code answers 0.
    virtual std::intptr_t dispatch(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr, float opt);

    // Main thread, request 0: the host opened the effect. Default: nothing.
    virtual void onOpen();
    // Main thread, request 1: the effect is about to be destroyed. Default: nothing.
    virtual void onClose();
    // Main thread, request 12 with value 0: processing stops. Default: nothing.
    virtual void onDeactivate();
    // Main thread, request 12 with a non-zero value: processing is about to start. Default: nothing.
    virtual void onActivate();
    // Main thread, request 10: stores the sample rate in hertz.
    virtual void applySampleRate(float rate);
    // Main thread, request 11: stores the largest block size in frames.
    virtual void applyBlockSize(std::int32_t size);

    // Audio thread. Replaces `frameCount` frames of every output channel. No default: every
    // concrete effect provides it.
    virtual void processFloatBlock(float** inputs, float** outputs, std::int32_t frameCount) = 0;
    // Audio thread. As processFloatBlock with 64-bit samples. Default: nothing.
    virtual void processDoubleBlock(double** inputs, double** outputs, std::int32_t frameCount);

    // Any thread. Stores a parameter value (the host keeps values in 0..1). Default: nothing.
    virtual void writeParam(std::int32_t index, float value);
    // Any thread. Answers a parameter value. Default: 0.0.
    virtual float readParam(std::int32_t index);
    // Main thread. writeParam, then tells the host of the change.
    virtual void writeParamAndNotify(std::int32_t index, float value);

    // Main thread, request 3: answers the current program index.
    virtual std::int32_t currentProgram();
    // Main thread, request 2 (bounded there): stores the index without any check.
    virtual void selectProgram(std::int32_t index);
    // Main thread, request 4: renames the current program. Default: nothing.
    virtual void renameProgram(char* name);
    // Main thread, request 5: writes the current program's name. Default: an empty text.
    virtual void fillProgramName(char* text);
    // Main thread, request 6: writes a parameter's unit. Default: an empty text.
    virtual void fillParamUnit(std::int32_t index, char* text);
    // Main thread, request 7: writes a parameter's value as text. Default: an empty text.
    virtual void fillParamValueText(std::int32_t index, char* text);
    // Main thread, request 8: writes a parameter's title. Default: an empty text.
    virtual void fillParamTitle(std::int32_t index, char* text);
    // Main thread, request 23: hands out the effect's state as one block. Default: 0 bytes.
    virtual std::int32_t saveChunk(void** data, bool flag);
    // Main thread, request 24: takes back a state block. Default: 0.
    virtual std::int32_t loadChunk(void* data, std::int32_t size, bool flag);

    // Declarations: each writes one record field or flag bit and tells the host nothing.
    virtual void assignUniqueId(std::int32_t id);
    virtual void setInputCount(std::int32_t count);
    virtual void setOutputCount(std::int32_t count);
    virtual void declareFloatReplacing(bool on);
    virtual void declareDoubleReplacing(bool on);
    virtual void declareChunkPrograms(bool on);
    virtual void setLatency(std::int32_t samples);

    // Accessors.
    virtual EffectEditor* editor();
    virtual EffectRecord* record();
    virtual float sampleRate();
    virtual std::int32_t blockSize();

    // Host services: each sends exactly one host request when there is a host (hostCallback
    // is not null) and gives the fallback named here without one.
    // The host's version; 1 when it answers 0 or there is no host.
    virtual std::int32_t hostVersion();
    // The host's current id; 0 without a host.
    virtual std::int32_t hostCurrentId();
    // Gives the host idle time.
    virtual void hostIdle();

    // Display texts of at most maxLength characters and a zero; the buffer holds maxLength + 1.
    // A linear gain as decibels ("-oo" at or below zero).
    virtual void formatDecibels(float value, char* text, std::int32_t maxLength);
    // A length in samples as the frequency of that period at the current sample rate.
    virtual void formatHertz(float samples, char* text, std::int32_t maxLength);
    // A length in samples as milliseconds at the current sample rate.
    virtual void formatMilliseconds(float samples, char* text, std::int32_t maxLength);
    // A number in 8 characters, decimals cut, "Huge!" when out of range.
    virtual void formatFloat(float value, char* text, std::int32_t maxLength);
    // An integer, "Huge!" when out of range.
    virtual void formatInteger(std::int32_t value, char* text, std::int32_t maxLength);

    // Audio thread. Adds into the outputs. Default: nothing; the outputs are left as they are.
    virtual void processAccumulate(float** inputs, float** outputs, std::int32_t frameCount);
    // Any thread. The level meter's value. Default: 0.0.
    virtual float readVu();
    virtual void declareVu(bool on);
    virtual void declareClip(bool on);
    virtual void declareMono(bool on);
    virtual void setRealtimeQualities(std::int32_t value);
    virtual void setOfflineQualities(std::int32_t value);

    // Whether the host has connected an input or output pin; true without a host.
    virtual bool isInputConnected(std::int32_t index);
    virtual bool isOutputConnected(std::int32_t index);

    // Installs an editor the effect then owns; sets flagHasEditor for non-null, clears it for null.
    void setEditor(EffectEditor* editor);

protected:
    // Sets or clears one bit of the record's flags and leaves every other bit alone.
    void changeFlag(std::int32_t bit, bool on);
    // Host requests, one helper per kind of answer. Each sends exactly one request with this
    // effect's record as the first argument when there is a host, and nothing without one.
    // The host's answer unchanged; 0 without a host.
    std::intptr_t askHostInteger(std::int32_t request, std::int32_t index = 0, std::intptr_t value = 0,
                                 void* ptr = nullptr, float opt = 0.0F);
    // Whether the host answered non-zero; false without a host.
    bool askHostTruth(std::int32_t request, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0F);
    // Whether the host answered exactly 1; false without a host.
    bool askHostExactlyOne(std::int32_t request, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                           float opt = 0.0F);
    // The host's answer read as a pointer to T (pointerFromAnswer); null without a host.
    template <typename T>
    T* askHostPointer(std::int32_t request, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0F) {
        const std::intptr_t answer = askHostInteger(request, index, value, ptr, opt);
        return pointerFromAnswer<T>(&answer);
    }
    // Tells the host something; its answer is ignored.
    void tellHost(std::int32_t request, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                  float opt = 0.0F);

    HostCallback hostCallback;         // the host's function; may be null
    EffectEditor* editorObject;        // owned; null when there is none
    float currentSampleRate;           // hertz
    std::int32_t currentBlockSize;     // frames
    std::int32_t programTotal;         // programs; bound for request 2
    std::int32_t paramTotal;           // parameters
    std::int32_t currentProgramIndex;  // the current program
    EffectRecord effectRecord;         // the record the host sees
};
