// Everything a host can learn about an effect without processing audio, gathered through
// the record and the requests, for the info command and the validator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/loader/plugin_instance.h"

namespace quorvel::host {

struct ParamInfo {
    std::int32_t index = 0;
    std::string title;
    float value = 0.0F;
    std::string valueText;
    std::string unit;
    bool automatable = false;
};

struct PluginInfo {
    std::string effectName;
    std::string vendor;
    std::string product;
    std::int32_t vendorVersion = 0;
    std::int32_t uniqueId = 0;
    std::int32_t interfaceVersion = 0;
    std::int32_t category = 0;
    std::int32_t version = 0;
    std::int32_t inputs = 0;
    std::int32_t outputs = 0;
    std::int32_t flags = 0;
    std::int32_t latency = 0;
    std::vector<std::string> programs;
    std::vector<ParamInfo> params;
    // Texts the plug-in wrote wrongly (past a buffer, unterminated), one line each, then at
    // most one line summing up the texts longer than their nominal size that fit the buffer.
    std::vector<std::string> problems;
};

// Main thread. Reads the record and asks every identity, program and parameter question,
// with the instance's text buffers (host-sized unless the caller chose otherwise).
// Programs are named by request 29 where the plug-in answers it, else by selecting each in
// turn; the current program is selected again afterwards.
PluginInfo describePlugin(PluginInstance& instance);

// A four-character code as its characters ('Tvnr'), with non-printing bytes as '.'.
std::string fourCharText(std::int32_t code);
// The names of the flag bits set in `flags`, unknown bits as hex (e.g. "0x4000").
std::vector<std::string> flagNames(std::int32_t flags);
// A category number in words.
std::string categoryName(std::int32_t category);

// A plug-in's text fit for a table on a terminal: control characters written as escapes
// (\n, \t, \r, others as \xNN), so that no text can move the cursor or change colours.
std::string printableText(const std::string& text);

}  // namespace quorvel::host
