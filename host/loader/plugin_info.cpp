#include "host/loader/plugin_info.h"

#include <cstdio>
#include <utility>

#include "framework/request_codes.h"
#include "host/loader/guarded_buffer.h"
#include "host/loader/text_judge.h"

namespace quorvel::host {

namespace {

std::int32_t narrow(std::intptr_t answer) {
    return static_cast<std::int32_t>(answer);
}

}  // namespace

PluginInfo describePlugin(PluginInstance& instance) {
    PluginInfo info;
    TextJudge judge;
    const auto take = [&judge](const TextAnswer& answer, const std::string& what) { return judge.take(answer, what); };
    const EffectRecord& record = instance.record();
    info.uniqueId = record.uniqueId;
    info.version = record.version;
    info.inputs = record.inputCount;
    info.outputs = record.outputCount;
    info.flags = record.flags;
    info.latency = record.latency;

    info.effectName = take(instance.effectName(), "effect name");
    info.vendor = take(instance.vendorText(), "vendor text");
    info.product = take(instance.productText(), "product text");
    info.vendorVersion = narrow(instance.dispatch(reqVendorVersion));
    info.interfaceVersion = narrow(instance.dispatch(reqInterfaceVersion));
    info.category = narrow(instance.dispatch(reqCategory));

    const std::intptr_t current = instance.dispatch(reqCurrentProgram);
    bool selected = false;
    for (std::int32_t p = 0; p < instance.programCount(); ++p) {
        GuardedBuffer buffer(instance.textCapacityFor(textCapacity::programName));
        const std::string what = "program " + std::to_string(p) + " name";
        if (instance.dispatch(reqProgramNameAt, p, -1, buffer.data()) != 0 && buffer.intact() && buffer.text()) {
            info.programs.push_back(*buffer.text());
            continue;
        }
        instance.dispatch(reqSelectProgram, 0, p);
        selected = true;
        info.programs.push_back(take(instance.programName(), what));
    }
    if (selected) {
        instance.dispatch(reqSelectProgram, 0, current);
    }

    for (std::int32_t i = 0; i < instance.paramCount(); ++i) {
        const std::string what = "parameter " + std::to_string(i) + " ";
        ParamInfo param;
        param.index = i;
        param.title = take(instance.paramTitle(i), what + "title");
        param.value = instance.param(i);
        param.valueText = take(instance.paramValueText(i), what + "value text");
        param.unit = take(instance.paramUnit(i), what + "unit");
        param.automatable = instance.dispatch(reqParamAutomatable, i) != 0;
        info.params.push_back(std::move(param));
    }
    for (const TextJudge::Fault& fault : judge.faults()) {
        info.problems.push_back(fault.what + ": " + fault.problem);
    }
    // Long texts that still fit the buffers make one line, naming the longest, instead of one
    // per text.
    if (const TextJudge::LongText* longest = judge.longest(); longest != nullptr) {
        const std::size_t count = judge.longTexts().size();
        info.problems.push_back(std::to_string(count) + (count == 1 ? " text is" : " texts are") +
                                " longer than the interface's nominal size but " + (count == 1 ? "fits" : "fit") +
                                " this host's " + std::to_string(instance.textCapacityFor(textCapacity::paramTitle)) +
                                "-byte buffers (longest: " + longest->what + ", " + std::to_string(longest->length) +
                                " bytes with its zero where " + std::to_string(longest->nominal) + " are nominal)");
    }
    return info;
}

std::string fourCharText(std::int32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((static_cast<std::uint32_t>(code) >> shift) & 0xFFU);
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    return text;
}

std::vector<std::string> flagNames(std::int32_t flags) {
    static const std::pair<std::int32_t, const char*> names[] = {
        {flagHasEditor, "hasEditor"},
        {flagHasClip, "hasClip"},
        {flagHasVu, "hasVu"},
        {flagCanMono, "canMono"},
        {flagCanFloatReplacing, "canFloatReplacing"},
        {flagChunkPrograms, "chunkPrograms"},
        {flagInstrument, "instrument"},
        {flagNoSoundInStop, "noSoundInStop"},
        {flagAsync, "async"},
        {flagExternalBuffer, "externalBuffer"},
        {flagCanDoubleReplacing, "canDoubleReplacing"},
    };
    std::vector<std::string> result;
    auto rest = static_cast<std::uint32_t>(flags);
    for (const auto& [bit, name] : names) {
        if ((rest & static_cast<std::uint32_t>(bit)) != 0) {
            result.emplace_back(name);
            rest &= ~static_cast<std::uint32_t>(bit);
        }
    }
    for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
        if ((rest & bit) != 0) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%X", bit);
            result.emplace_back(text);
        }
    }
    return result;
}

std::string categoryName(std::int32_t category) {
    switch (category) {
    case 0:
        return "unspecified";
    case 2:
        return "instrument";
    default:
        return "category " + std::to_string(category);
    }
}

std::string printableText(const std::string& text) {
    std::string printable;
    printable.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            printable += "\\n";
        } else if (c == '\t') {
            printable += "\\t";
        } else if (c == '\r') {
            printable += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            printable += escape;
        } else {
            printable += c;
        }
    }
    return printable;
}

}  // namespace quorvel::host
