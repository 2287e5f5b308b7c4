#include "host/validate/checks/check_support.h"

#include <cstdio>

#include "host/loader/text_judge.h"

namespace quorvel::host {

float Random::paramValue() {
    switch (next() % 8U) {
    case 0:
        return 0.0F;
    case 1:
        return 1.0F;
    case 2:
        return 1.0e-7F;
    case 3:
        return 0.99999994F;  // the largest float below 1
    default:
        return unit();
    }
}

std::uint32_t checkSeed(std::uint32_t seed, const std::string& name) {
    std::uint32_t hash = 2166136261U;  // FNV-1a over the name
    for (const char c : name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
    }
    return seed ^ hash;
}

double testSample(int channel, std::int64_t frame) {
    if (frame % 8192 >= 6000 && frame % 8192 < 7000) {
        return 0.0;
    }
    const double tone = std::sin(0.0625 * static_cast<double>(frame) * (1.0 + 0.25 * channel));
    auto hash = static_cast<std::uint32_t>(frame * 2 + channel) * 2654435761U;
    hash ^= hash >> 16;
    const double noise = static_cast<double>(hash & 0xFFFFU) / 65535.0 - 0.5;
    return 0.4 * tone + 0.2 * noise;
}

std::string summarise(const std::vector<std::string>& problems, std::size_t shown) {
    std::string text;
    for (std::size_t k = 0; k < problems.size() && k < shown; ++k) {
        text += (k > 0 ? "; " : "") + problems[k];
    }
    if (problems.size() > shown) {
        text += "; and " + std::to_string(problems.size() - shown) + " more";
    }
    return text;
}

std::string valueText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string settingText(float sampleRate, std::int32_t blockSize) {
    return std::to_string(static_cast<long>(sampleRate)) + " Hz, blocks of " + std::to_string(blockSize);
}

void prepareInstance(PluginInstance& instance, ValidationProfile profile, float sampleRate, std::int32_t blockSize) {
    instance.setTextBuffers(profile == ValidationProfile::host ? TextBuffers::host : TextBuffers::nominal);
    instance.open();
    instance.configure(sampleRate, blockSize);
    instance.setActive(true);
}

void judgeText(const TextAnswer& answer, const std::string& what, std::vector<std::string>& problems,
               std::vector<std::string>& longTexts) {
    TextJudge judge;
    judge.take(answer, what);
    for (const TextJudge::Fault& fault : judge.faults()) {
        problems.push_back(fault.what + " " + fault.problem + " (a write outside a buffer)");
    }
    for (const TextJudge::LongText& text : judge.longTexts()) {
        longTexts.push_back(text.what + " (" + std::to_string(text.length) + " bytes, nominal " +
                            std::to_string(text.nominal) + ")");
    }
}

CheckVerdict subnormalVerdict(const SampleTally& tally, const std::string& passNote) {
    if (tally.subnormals == 0) {
        return pass(passNote);
    }
    return warn(std::to_string(tally.subnormals) + " isolated subnormal numbers among " +
                std::to_string(tally.samples) + " output samples, the first in " + tally.first + " (" + passNote + ")");
}

CheckVerdict textVerdict(const std::vector<std::string>& problems, const std::vector<std::string>& longTexts,
                         const std::string& passNote) {
    if (!problems.empty()) {
        return fail(summarise(problems));
    }
    if (!longTexts.empty()) {
        return warn(std::to_string(longTexts.size()) + " texts longer than their nominal size fit the host's " +
                    std::to_string(textCapacity::host) + "-byte buffers: " + summarise(longTexts, 2));
    }
    return pass(passNote);
}

}  // namespace quorvel::host
