#include "host/param_settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

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
    const float value = std::strtof(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) {
        throw HostError("'" + text + "' in '" + setting + "' is not a number");
    }
    if (value < 0.0F || value > 1.0F) {
        throw HostError("the value " + text + " in '" + setting + "' is outside 0..1");
    }
    return value;
}

std::int32_t findParam(const std::string& name, const std::string& setting, PluginInstance& instance) {
    const std::int32_t count = instance.paramCount();
    if (allDigits(name)) {
        const long index = name.size() > 6 ? count : std::strtol(name.c_str(), nullptr, 10);
        if (index >= count) {
            throw HostError("parameter index " + name + " in '" + setting + "' is out of range (the plug-in has " +
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
        throw HostError("the plug-in has no parameter titled '" + name + "' (see the info command)");
    }
    if (found.size() > 1) {
        throw HostError("the title '" + name + "' names " + std::to_string(found.size()) +
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
        throw HostError("'" + text + "' is not " + (ramp ? "NAME=FROM:TO" : "NAME=VALUE"));
    }
    const std::string value = text.substr(equals + 1);
    ParamSetting setting;
    setting.index = findParam(text.substr(0, equals), text, instance);
    if (ramp) {
        const std::size_t colon = value.find(':');
        if (colon == std::string::npos) {
            throw HostError("'" + text + "' is not NAME=FROM:TO");
        }
        setting.from = parseValue(value.substr(0, colon), text);
        setting.to = parseValue(value.substr(colon + 1), text);
    } else {
        setting.from = setting.to = parseValue(value, text);
    }
    return setting;
}

void applyParamSettings(const std::vector<ParamSetting>& settings, PluginInstance& instance, std::int64_t position,
                        std::int64_t totalFrames) {
    for (const ParamSetting& setting : settings) {
        instance.setParam(setting.index, setting.valueAt(position, totalFrames));
    }
}
