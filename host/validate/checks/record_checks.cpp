// Checks of the entry point, the record, the requests and the identity texts.
#include <map>

#include "framework/request_codes.h"
#include "host/loader/guarded_buffer.h"
#include "host/loader/plugin_call.h"
#include "host/supervision/isolation.h"
#include "host/validate/checks/check_list.h"
#include "host/validate/checks/check_support.h"
#include "host/validate/editor_window.h"

namespace quorvel::host {

namespace {

// Calls the entry point with `callback`, timed as a plug-in call.
EffectRecord* callEntry(const CheckContext& context, HostCallback callback) {
    noteCheckProgress("the entry point");
    return callPlugin([&] { return context.entry(callback); });
}

// Closes the effect of `record` (request 1), timed as a plug-in call.
void closeEffect(EffectRecord* record) {
    noteCheckProgress("request " + std::to_string(reqClose));
    callPlugin([&] { return record->dispatchEntry(record, reqClose, 0, 0, nullptr, 0.0F); });
}

CheckVerdict checkEntryVersionZero(const CheckContext& context) {
    EffectRecord* record = callEntry(context, refusingHostCallback);
    if (record == nullptr) {
        return pass();
    }
    if (recordProblems(*record).empty()) {
        closeEffect(record);
    }
    return fail("the entry point created an effect although the host answered 0 to the version question");
}

CheckVerdict checkRecord(const CheckContext& context) {
    EffectRecord* record = callEntry(context, hostCallback);
    if (record == nullptr) {
        return fail("the entry point answered null to a host of version 2400");
    }
    const std::vector<std::string> problems = recordProblems(*record);
    if (!problems.empty()) {
        return fail(summarise(problems, 4));
    }
    const EffectRecord copy = *record;
    closeEffect(record);
    if ((copy.flags & flagCanFloatReplacing) == 0 && (copy.flags & flagCanDoubleReplacing) == 0) {
        return fail("the record declares neither 32-bit nor 64-bit replacing processing");
    }
    if (copy.outputCount < 1) {
        return fail("the record declares no outputs");
    }
    return pass("magic, entries and counts sound (" + std::to_string(copy.inputCount) + " in, " +
                std::to_string(copy.outputCount) + " out, " + std::to_string(copy.paramCount) + " parameters)");
}

// ---- Requests ----------------------------------------------------------------------------

// Sends one request with a guarded buffer of `size` bytes (holding `contents` when given) and
// notes a write outside it.
void guardedRequest(PluginInstance& instance, std::int32_t code, std::int32_t index, std::size_t size,
                    std::vector<std::string>& problems, const std::string& contents = {}) {
    GuardedBuffer buffer(size);
    contents.copy(buffer.data(), std::min(contents.size(), size - 1));
    noteCheckProgress("request " + std::to_string(code));
    instance.dispatch(code, index, 0, buffer.data(), 0.0F);
    const std::string what = "request " + std::to_string(code) + " wrote ";
    if (buffer.overrunAfter() > 0) {
        problems.push_back(what + std::to_string(buffer.overrunAfter()) + " bytes past its " + std::to_string(size) +
                           "-byte buffer (a write outside a buffer)");
    } else if (buffer.overrunBefore() > 0) {
        problems.push_back(what + "before its buffer (a write outside a buffer)");
    }
}

// The buffer the hostile sweep hands with each request code: the nominal size of a text, or
// a kilobyte for the records that some requests fill.
std::size_t sweepBufferSize(std::int32_t code) {
    static const std::map<std::int32_t, std::size_t> textSizes = {
        {reqProgramName, textCapacity::programName},       {reqParamUnit, textCapacity::paramUnit},
        {reqParamValueText, textCapacity::paramValueText}, {reqParamTitle, textCapacity::paramTitle},
        {reqProgramNameAt, textCapacity::programName},     {reqEffectName, textCapacity::effectName},
        {reqVendorText, textCapacity::vendorText},         {reqProductText, textCapacity::productText},
        {reqNextShellPlugin, textCapacity::productText},
    };
    const auto found = textSizes.find(code);
    return found != textSizes.end() ? found->second : 1024;
}

// Every code -1..100 on a fresh effect, with zeroed arguments and nominal buffers: how the
// plug-in copes with requests in an order and with arguments no host uses.
CheckVerdict hostileSweep(const CheckContext& context) {
    PluginInstance instance(context.entry);
    std::vector<std::string> problems;
    for (std::int32_t code = -1; code <= 100; ++code) {
        if (code != reqClose) {  // the last request, sent by close() below
            guardedRequest(instance, code, 0, sweepBufferSize(code), problems);
        }
    }
    if (instance.record().magic != recordMagic) {
        problems.push_back("the record's magic changed during the sweep");
        return fail(summarise(problems));
    }
    instance.close();
    return problems.empty() ? pass("101 requests answered") : fail(summarise(problems));
}

// The questions a host asks an opened, active effect, each with a buffer of the size a host
// hands for it. Editor requests only where an editor is declared and a display exists, and
// only its size, which a host asks before it makes a window; a host on a headless machine
// sends none (editors whose window toolkit needs a display may crash on any of them).
CheckVerdict hostSweep(const CheckContext& context) {
    PluginInstance instance(context.entry);
    prepareInstance(instance, context.profile, 44100.0F, 512);
    std::vector<std::string> problems;
    int sent = 0;
    const auto request = [&](std::int32_t code, std::int32_t index, std::size_t size,
                             const std::string& contents = {}) {
        guardedRequest(instance, code, index, size, problems, contents);
        ++sent;
    };
    constexpr std::size_t record = 1024;  // for the records some requests fill
    for (const std::int32_t code :
         {reqCurrentProgram, reqIdentify, reqCategory, reqVendorVersion, reqTailLength, reqInterfaceVersion}) {
        request(code, 0, record);
    }
    for (const std::int32_t code : {reqProgramName, reqEffectName, reqVendorText, reqProductText}) {
        request(code, 0, textCapacity::host);
    }
    for (std::int32_t p = 0; p < std::min<std::int32_t>(instance.programCount(), 16); ++p) {
        request(reqProgramNameAt, p, textCapacity::host);
    }
    for (std::int32_t i = 0; i < std::min<std::int32_t>(instance.paramCount(), 64); ++i) {
        request(reqParamAutomatable, i, record);
        request(reqParamProperties, i, record);
    }
    for (std::int32_t c = 0; c < instance.inputCount(); ++c) {
        request(reqInputPinInfo, c, record);
    }
    for (std::int32_t c = 0; c < instance.outputCount(); ++c) {
        request(reqOutputPinInfo, c, record);
    }
    for (const char* feature : {"bypass", "receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents", "offline",
                                "noRealTime", "plugAsChannelInsert", "plugAsSend", "mixDryWet"}) {
        request(reqSupports, 0, record, feature);
    }
    std::string editorNote;
    if ((instance.record().flags & flagHasEditor) != 0) {
        if (displayAvailable()) {
            request(reqEditorBounds, 0, sizeof(void*));
        } else {
            editorNote = "; no editor request: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
        }
    }
    if (instance.record().magic != recordMagic) {
        problems.push_back("the record's magic changed during the sweep");
        return fail(summarise(problems));
    }
    instance.close();
    return problems.empty() ? pass(std::to_string(sent) + " requests answered" + editorNote)
                            : fail(summarise(problems));
}

CheckVerdict checkRequestSweep(const CheckContext& context) {
    return context.profile == ValidationProfile::hostile ? hostileSweep(context) : hostSweep(context);
}

CheckVerdict checkIdentityTexts(const CheckContext& context) {
    PluginInstance instance(context.entry);
    prepareInstance(instance, context.profile, 44100.0F, 512);
    std::vector<std::string> problems, longTexts;
    judgeText(instance.effectName(), "the effect name", problems, longTexts);
    judgeText(instance.vendorText(), "the vendor text", problems, longTexts);
    judgeText(instance.productText(), "the product text", problems, longTexts);
    const std::int32_t programs = std::min<std::int32_t>(instance.programCount(), 128);
    for (std::int32_t p = 0; p < programs; ++p) {
        noteCheckProgress("program " + std::to_string(p));
        instance.dispatch(reqSelectProgram, 0, p);
        judgeText(instance.programName(), "program " + std::to_string(p) + "'s name", problems, longTexts);
    }
    return textVerdict(problems, longTexts, {});
}

}  // namespace

std::vector<CheckDefinition> recordChecks() {
    return {
        {"entry-version-0", "the entry point answers null when the host answers 0 to the version question",
         checkEntryVersionZero},
        {"record", "the record: magic, entry functions, counts", checkRecord},
        {"request-sweep",
         "host: the questions a host asks an active effect, guarded buffers; hostile: codes -1..100 with zeroed "
         "arguments and nominal buffers",
         checkRequestSweep},
        {"identity-texts", "effect name, vendor, product and program names stay within their buffers",
         checkIdentityTexts},
    };
}

}  // namespace quorvel::host
