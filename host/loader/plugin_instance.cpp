#include "host/loader/plugin_instance.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "framework/request_codes.h"
#include "host/loader/guarded_buffer.h"
#include "host/loader/hex_text.h"

namespace quorvel::host {

namespace {

void checkCount(std::vector<std::string>& problems, const char* what, std::int32_t count, std::int32_t low,
                std::int32_t high) {
    if (count < low || count > high) {
        problems.push_back(std::string(what) + " is " + std::to_string(count) + ", outside " + std::to_string(low) +
                           ".." + std::to_string(high));
    }
}

}  // namespace

std::vector<std::string> recordProblems(const EffectRecord& record) {
    std::vector<std::string> problems;
    if (record.magic != recordMagic) {
        // Nothing else in a record with a wrong magic means anything.
        problems.push_back("magic is " + hexText(record.magic) + ", not " + hexText(recordMagic));
        return problems;
    }
    if (record.dispatchEntry == nullptr) {
        problems.push_back("the dispatch entry is null");
    }
    if (record.setParamEntry == nullptr) {
        problems.push_back("the parameter write entry is null");
    }
    if (record.getParamEntry == nullptr) {
        problems.push_back("the parameter read entry is null");
    }
    if ((record.flags & flagCanFloatReplacing) != 0 && record.processFloatEntry == nullptr) {
        problems.push_back("32-bit processing is declared but its entry is null");
    }
    if ((record.flags & flagCanDoubleReplacing) != 0 && record.processDoubleEntry == nullptr) {
        problems.push_back("64-bit processing is declared but its entry is null");
    }
    checkCount(problems, "the input count", record.inputCount, 0, maxChannelCount);
    checkCount(problems, "the output count", record.outputCount, 0, maxChannelCount);
    checkCount(problems, "the parameter count", record.paramCount, 0, maxParamCount);
    checkCount(problems, "the program count", record.programCount, 0, maxProgramCount);
    if (record.latency < 0) {
        problems.push_back("the latency is negative (" + std::to_string(record.latency) + ")");
    }
    if (!std::isfinite(record.ioRatio)) {
        problems.push_back("the input/output ratio is not a finite number");
    }
    return problems;
}

PluginInstance::PluginInstance(PluginEntry entry, HostCallback callback) {
    if (entry == nullptr) {
        throw HostError("the library has no entry point");
    }
    record_ = callPlugin([&] { return entry(callback); });
    if (record_ == nullptr) {
        throw HostError("the entry point created no effect (it answered null)");
    }
    const std::vector<std::string> problems = recordProblems(*record_);
    if (!problems.empty()) {
        record_ = nullptr;  // never called: not even closed
        throw HostError("the entry point answered an unusable record: " + problems.front());
    }
}

PluginInstance::~PluginInstance() {
    if (std::uncaught_exceptions() > 0) {
        return;  // on the way out of a failure: the plug-in is not called again
    }
    try {
        close();
    } catch (const PluginException&) {
        // A destructor cannot report it; a caller that wants to hear of it calls close().
    }
}

bool PluginInstance::canProcessFloat() const {
    return (record_->flags & flagCanFloatReplacing) != 0 && record_->processFloatEntry != nullptr;
}

bool PluginInstance::canProcessDouble() const {
    return (record_->flags & flagCanDoubleReplacing) != 0 && record_->processDoubleEntry != nullptr;
}

std::intptr_t PluginInstance::dispatch(std::int32_t request, std::int32_t index, std::intptr_t value, void* ptr,
                                       float opt) {
    if (noteRequest_ != nullptr) {
        noteRequest_("request " + std::to_string(request));
    }
    const std::intptr_t answer =
        callPlugin([&] { return record_->dispatchEntry(record_, request, index, value, ptr, opt); });
    if (request == reqClose) {
        record_ = nullptr;
    }
    return answer;
}

void PluginInstance::open() {
    dispatch(reqOpen);
}

void PluginInstance::configure(float sampleRate, std::int32_t blockSize) {
    hostSettings().sampleRate = sampleRate;
    hostSettings().blockSize = blockSize;
    dispatch(reqSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(reqBlockSize, 0, blockSize);
}

void PluginInstance::setActive(bool active) {
    if (active == active_) {
        return;
    }
    if (active) {
        dispatch(reqActivation, 0, 1);
        dispatch(reqProcessingStart);
    } else {
        dispatch(reqProcessingStop);
        dispatch(reqActivation, 0, 0);
    }
    active_ = active;
}

void PluginInstance::close() {
    if (record_ == nullptr) {
        return;
    }
    setActive(false);
    dispatch(reqClose);
}

std::size_t PluginInstance::textCapacityFor(std::size_t nominal) const {
    return textBuffers_ == TextBuffers::host ? std::max(nominal, textCapacity::host) : nominal;
}

TextAnswer PluginInstance::text(std::int32_t request, std::int32_t index, std::size_t nominal) {
    const std::size_t capacity = textCapacityFor(nominal);
    GuardedBuffer buffer(capacity);
    dispatch(request, index, 0, buffer.data());
    TextAnswer answer;
    answer.nominal = nominal;
    const std::optional<std::string> text = buffer.text();
    answer.text = text ? *text : std::string(buffer.data(), buffer.size());
    const std::string size = std::to_string(capacity) + "-byte buffer";
    if (buffer.overrunAfter() > 0) {
        answer.problem = "wrote " + std::to_string(buffer.overrunAfter()) + " bytes past its " + size;
    } else if (buffer.overrunBefore() > 0) {
        answer.problem = "wrote before the start of its " + size;
    } else if (!text) {
        answer.problem = "left no terminating zero in its " + size;
    }
    return answer;
}

TextAnswer PluginInstance::paramTitle(std::int32_t index) {
    return text(reqParamTitle, index, textCapacity::paramTitle);
}

TextAnswer PluginInstance::paramUnit(std::int32_t index) {
    return text(reqParamUnit, index, textCapacity::paramUnit);
}

TextAnswer PluginInstance::paramValueText(std::int32_t index) {
    return text(reqParamValueText, index, textCapacity::paramValueText);
}

TextAnswer PluginInstance::programName() {
    return text(reqProgramName, 0, textCapacity::programName);
}

TextAnswer PluginInstance::effectName() {
    return text(reqEffectName, 0, textCapacity::effectName);
}

TextAnswer PluginInstance::vendorText() {
    return text(reqVendorText, 0, textCapacity::vendorText);
}

TextAnswer PluginInstance::productText() {
    return text(reqProductText, 0, textCapacity::productText);
}

}  // namespace quorvel::host
