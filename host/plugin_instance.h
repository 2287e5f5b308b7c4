// A C++ wrapper over one effect's record: creation through the entry point, the requests a
// host sends, parameter access and processing. It never trusts the plug-in: the record is
// checked before its first call, and every text comes back through a canary-guarded buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/effect_record.h"
#include "host/host_callback.h"
#include "host/plugin_library.h"

// A failure of the host, or a plug-in that cannot be driven, told in one line.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Counts beyond these are taken as a broken record, not as a plug-in's real size.
inline constexpr std::int32_t maxChannelCount = 64;
inline constexpr std::int32_t maxParamCount = 100000;
inline constexpr std::int32_t maxProgramCount = 100000;

// What makes a record unfit to drive, one line each: a wrong magic, a missing entry
// function, a count out of range. Empty for a sound record. Reads the record only.
std::vector<std::string> recordProblems(const EffectRecord& record);

// Buffer sizes this host supplies for each kind of text, terminating zero included.
namespace textCapacity {
inline constexpr std::size_t paramTitle = paramTextLength + 1;
inline constexpr std::size_t paramUnit = paramTextLength + 1;
inline constexpr std::size_t paramValueText = paramTextLength + 1;
inline constexpr std::size_t programName = programNameLength + 1;
inline constexpr std::size_t effectName = effectNameLength + 1;
inline constexpr std::size_t vendorText = vendorTextLength + 1;
inline constexpr std::size_t productText = vendorTextLength + 1;
}  // namespace textCapacity

// A text the plug-in wrote: the text within the buffer, and what the plug-in did wrong
// (empty when nothing).
struct TextAnswer {
    std::string text;
    std::string problem;
};

class PluginInstance {
public:
    // Main thread. Asks `entry` for a new effect, passing `callback`, and checks the record.
    // Throws HostError when the entry answers null or the record is unfit; such a record is
    // never called.
    explicit PluginInstance(PluginEntry entry, HostCallback callback = hostCallback);
    // Closes the effect unless close() already did.
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    const EffectRecord& record() const { return *record_; }
    std::int32_t inputCount() const { return record_->inputCount; }
    std::int32_t outputCount() const { return record_->outputCount; }
    std::int32_t paramCount() const { return record_->paramCount; }
    std::int32_t programCount() const { return record_->programCount; }
    // Whether the plug-in declares replacing processing of 32-bit / 64-bit samples.
    bool canProcessFloat() const;
    bool canProcessDouble() const;

    // Main thread. Sends one request with the five values as given and answers the plug-in's
    // answer. Request 1 (close) ends the effect as close() does.
    std::intptr_t dispatch(std::int32_t request, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                           float opt = 0.0F);

    // Main thread. The lifecycle a host drives: open; tell the sample rate and block size
    // (also made the host's current settings); activate (then start processing) and stop
    // processing (then deactivate); close, after which the record is gone.
    void open();
    void configure(float sampleRate, std::int32_t blockSize);
    void setActive(bool active);
    void close();

    // Main thread. A text request (`request` with `index`) into a guarded buffer of
    // `capacity` bytes.
    TextAnswer text(std::int32_t request, std::int32_t index, std::size_t capacity);
    TextAnswer paramTitle(std::int32_t index);
    TextAnswer paramUnit(std::int32_t index);
    TextAnswer paramValueText(std::int32_t index);
    TextAnswer programName();
    TextAnswer effectName();
    TextAnswer vendorText();
    TextAnswer productText();

    // Any thread. Parameter write and read.
    void setParam(std::int32_t index, float value) { record_->setParamEntry(record_, index, value); }
    float param(std::int32_t index) { return record_->getParamEntry(record_, index); }

    // Audio thread. One block of `frameCount` frames; the caller supplies inputCount() input
    // and outputCount() output channels of at least that many samples.
    void process(float** inputs, float** outputs, std::int32_t frameCount) {
        record_->processFloatEntry(record_, inputs, outputs, frameCount);
    }
    void process(double** inputs, double** outputs, std::int32_t frameCount) {
        record_->processDoubleEntry(record_, inputs, outputs, frameCount);
    }

private:
    EffectRecord* record_ = nullptr;
    bool active_ = false;
};
