#include "host/loader/param_settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "host/loader/usage_error.h"

namespace quorvel::host {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

float parseValue(const std::string& text, const std::string& setting) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || std::isnan(value)) {
        throw UsageError("'" + text + "' in '" + setting + "' is not a number");
    }
    if (!(value >= 0.0 && value <= 1.0)) {
        throw UsageError("the value " + text + " in '" + setting + "' is out of range (0..1)");
    }
    return static_cast<float>(value);
}

std::int32_t findParam(const std::string& name, const std::string& setting, PluginInstance& instance) {
    const std::int32_t count = instance.paramCount();
    if (allDigits(name)) {
        // Leading zeros do not make an index another thing.
        const std::string digits = name.substr(std::min(name.find_first_not_of('0'), name.size() - 1));
        const long index = digits.size() > 6 ? count : std::strtol(digits.c_str(), nullptr, 10);
        if (index >= count) {
            throw UsageError("parameter index " + name + " in '" + setting + "' is out of range (the plug-in has " +
                             std::to_string(count) + " parameters)");
        }
        return static_cast<std::int32_t>(index);
    }
    std::vector<std::int32_t> exact, folded;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string title = instance.paramTitle(i).text;
        if (title == name) {
            exact.push_back(i);
        } else if (lower(title) == lower(name)) {
            folded.push_back(i);
        }
    }
    const std::vector<std::int32_t>& found = exact.empty() ? folded : exact;
    if (found.empty()) {
        throw UsageError("the plug-in has no parameter titled '" + name + "' (see the info command)");
    }
    if (found.size() > 1) {
        throw UsageError("the title '" + name + "' names " + std::to_string(found.size()) +
                         " parameters; use an index instead");
    }
    return found.front();
}

}  // namespace

float ParamSetting::valueAt(std::int64_t position, std::int64_t totalFrames) const {
    if (from == to || totalFrames <= 1) {
        return from;
    }
    const double t = std::min(1.0, static_cast<double>(position) / static_cast<double>(totalFrames - 1));
    return static_cast<float>(from + (static_cast<double>(to) - from) * t);
}

ParamSetting parseParamSetting(const std::string& text, bool ramp, PluginInstance& instance) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("'" + text + "' is not " + (ramp ? "NAME=FROM:TO" : "NAME=VALUE"));
    }
    const std::string value = text.substr(equals + 1);
    ParamSetting setting;
    setting.index = findParam(text.substr(0, equals), text, instance);
    if (ramp) {
        const std::size_t colon = value.find(':');
        if (colon == std::string::npos) {
            throw UsageError("'" + text + "' is not NAME=FROM:TO");
        }
        setting.from = parseValue(value.substr(0, colon), text);
        setting.to = parseValue(value.substr(colon + 1), text);
    } else {
        setting.from = setting.to = parseValue(value, text);
    }
    return setting;
}

std::vector<ParamSetting> parseParamSettings(const std::vector<std::string>& sets,
                                             const std::vector<std::string>& ramps, PluginInstance& instance) {
    std::vector<ParamSetting> settings;
    std::vector<std::string> texts;
    for (const auto* list : {&sets, &ramps}) {
        for (const std::string& text : *list) {
            const ParamSetting setting = parseParamSetting(text, list == &ramps, instance);
            for (std::size_t k = 0; k < settings.size(); ++k) {
                if (settings[k].index == setting.index) {
                    throw UsageError("'" + texts[k] + "' and '" + text + "' name the same parameter; give it once");
                }
            }
            settings.push_back(setting);
            texts.push_back(text);
        }
    }
    return settings;
}

void applyParamSettings(const std::vector<ParamSetting>& settings, PluginInstance& instance, std::int64_t position,
                        std::int64_t totalFrames) {
    for (const ParamSetting& setting : settings) {
        instance.setParam(setting.index, setting.valueAt(position, totalFrames));
    }
}

}  // namespace quorvel::host
