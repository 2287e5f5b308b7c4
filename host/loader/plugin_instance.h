// A C++ wrapper over one effect's record: creation through the entry point, the requests a
// host sends, parameter access and processing. It never trusts the plug-in: the record is
// checked before its first call, and every text comes back through a canary-guarded buffer.
// Every call into the plug-in is marked as such (see plugin_call.h): a supervisor times it, and
// an exception escaping it comes out as PluginException.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/effect_record.h"
#include "host/loader/host_callback.h"
#include "host/loader/host_error.h"
#include "host/loader/plugin_call.h"
#include "host/loader/plugin_library.h"

namespace quorvel::host {

// Counts beyond these are taken as a broken record, not as a plug-in's real size.
inline constexpr std::int32_t maxChannelCount = 64;
inline constexpr std::int32_t maxParamCount = 100000;
inline constexpr std::int32_t maxProgramCount = 100000;

// What makes a record unfit to drive, one line each: a wrong magic, a missing entry
// function, a count out of range. Empty for a sound record. Reads the record only.
std::vector<std::string> recordProblems(const EffectRecord& record);

// The nominal size of each kind of text, terminating zero included: the bound the interface
// names. Plug-ins often write longer texts, and real hosts hand buffers far larger than these.
namespace textCapacity {
inline constexpr std::size_t paramTitle = paramTextLength + 1;
inline constexpr std::size_t paramUnit = paramTextLength + 1;
inline constexpr std::size_t paramValueText = paramTextLength + 1;
inline constexpr std::size_t programName = programNameLength + 1;
inline constexpr std::size_t effectName = effectNameLength + 1;
inline constexpr std::size_t vendorText = vendorTextLength + 1;
inline constexpr std::size_t productText = vendorTextLength + 1;
// What this host hands for any text in its everyday (host) profile, as real hosts do.
inline constexpr std::size_t host = 256;
}  // namespace textCapacity

// Which buffers text requests get: `host`, the size real hosts allocate (a text past the
// nominal bound fits and is only noted); `nominal`, exactly the nominal bound (a longer text
// is a write past the buffer).
enum class TextBuffers { host, nominal };

// A text the plug-in wrote: the text within the buffer, what the plug-in did wrong (empty when
// nothing), and the nominal size of that kind of text.
struct TextAnswer {
    std::string text;
    std::string problem;
    std::size_t nominal = 0;

    // Whether the text, with its terminating zero, is longer than its nominal size although
    // it stayed within the buffer.
    bool pastNominal() const { return problem.empty() && text.size() + 1 > nominal; }
};

// Where a supervised command has got to ("request 45"), handed to whoever supervises it. The
// loader only calls it; the supervisor decides what a note is worth.
using ProgressNote = void (*)(const std::string& where);

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

    // Main thread. With a note function, every request is first noted through it ("request
    // 45"), so that a supervised command names the request a plug-in failed at (the
    // supervisor's noteCheckProgress()); nullptr stops the notes.
    void noteRequests(ProgressNote note) { noteRequest_ = note; }

    // Main thread. The lifecycle a host drives: open; tell the sample rate and block size
    // (also made the host's current settings); activate (then start processing) and stop
    // processing (then deactivate); close, after which the record is gone.
    void open();
    void configure(float sampleRate, std::int32_t blockSize);
    void setActive(bool active);
    void close();

    // Main thread. The buffers later text requests get (host-sized until told otherwise).
    void setTextBuffers(TextBuffers buffers) { textBuffers_ = buffers; }
    TextBuffers textBuffers() const { return textBuffers_; }
    // The buffer size a text of nominal size `nominal` gets under the current text buffers.
    std::size_t textCapacityFor(std::size_t nominal) const;

    // Main thread. A text request (`request` with `index`) into a guarded buffer sized for a
    // text of nominal size `nominal` under the current text buffers.
    TextAnswer text(std::int32_t request, std::int32_t index, std::size_t nominal);
    TextAnswer paramTitle(std::int32_t index);
    TextAnswer paramUnit(std::int32_t index);
    TextAnswer paramValueText(std::int32_t index);
    TextAnswer programName();
    TextAnswer effectName();
    TextAnswer vendorText();
    TextAnswer productText();

    // Any thread. Parameter write and read.
    void setParam(std::int32_t index, float value) {
        callPlugin([&] { record_->setParamEntry(record_, index, value); });
    }
    float param(std::int32_t index) {
        return callPlugin([&] { return record_->getParamEntry(record_, index); });
    }

    // Audio thread. One block of `frameCount` frames; the caller supplies inputCount() input
    // and outputCount() output channels of at least that many samples.
    void process(float** inputs, float** outputs, std::int32_t frameCount) {
        callPlugin([&] { record_->processFloatEntry(record_, inputs, outputs, frameCount); });
    }
    void process(double** inputs, double** outputs, std::int32_t frameCount) {
        callPlugin([&] { record_->processDoubleEntry(record_, inputs, outputs, frameCount); });
    }

private:
    EffectRecord* record_ = nullptr;
    bool active_ = false;
    ProgressNote noteRequest_ = nullptr;
    TextBuffers textBuffers_ = TextBuffers::host;
};

}  // namespace quorvel::host
