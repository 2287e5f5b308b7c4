// Quorvel's parameters, program name and identity as the host sees them.
#include <atomic>
#include <cstring>

#include "effect/quorvel.h"
#include "effect/value_text.h"
#include "framework/bounded_text.h"

namespace {

struct ParamInfo {
    const char* title;
    const char* unit;
};

constexpr ParamInfo paramInfo[Quorvel::paramCount] = {
    {"Tavenor", "LR_Bal"}, {"LDur", ""}, {"LAmp", "amp"},         {"LPeriod", "shift"},
    {"RDur", ""},          {"RAmp", "amp"}, {"RPeriod", "shift"},
};

bool inRange(std::int32_t index) {
    return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(Quorvel::paramCount);
}

}  // namespace

float* Quorvel::paramField(std::int32_t index) {
    float* const fields[paramCount] = {&balance, &leftDur, &leftAmp, &leftPeriod, &rightDur, &rightAmp, &rightPeriod};
    return inRange(index) ? fields[index] : nullptr;
}

void Quorvel::writeParam(std::int32_t index, float value) {
    if (float* field = paramField(index)) {
        std::atomic_ref<float>(*field).store(value, std::memory_order_relaxed);
    }
}

float Quorvel::readParam(std::int32_t index) {
    if (float* field = paramField(index)) {
        return std::atomic_ref<float>(*field).load(std::memory_order_relaxed);
    }
    return -1.0F;
}

void Quorvel::renameProgram(char* name) {
    if (name != nullptr) {
        copyBounded(programName, name, programNameLength);
    }
}

void Quorvel::fillProgramName(char* text) {
    if (text != nullptr) {
        copyBounded(text, programName, programNameLength);
    }
}

void Quorvel::fillParamTitle(std::int32_t index, char* text) {
    if (text != nullptr && inRange(index)) {
        copyBounded(text, paramInfo[index].title, 8);
    }
}

void Quorvel::fillParamUnit(std::int32_t index, char* text) {
    if (text != nullptr && inRange(index)) {
        std::strcpy(text, paramInfo[index].unit);
    }
}

// Balance as a whole percentage, the two switches as "On" above 0.5 and "Off" otherwise,
// everything else with six decimals. At most 8 characters and the zero are written.
void Quorvel::fillParamValueText(std::int32_t index, char* text) {
    if (text == nullptr || !inRange(index)) {
        return;
    }
    const float value = Quorvel::readParam(index);
    switch (index) {
    case 0:
        printPercent(value, text);
        break;
    case 1:
    case 4:
        std::strcpy(text, value > 0.5F ? "On" : "Off");
        break;
    default:
        printSixDecimals(value, text);
        break;
    }
}

bool Quorvel::fillEffectName(char* text) {
    if (text == nullptr) {
        return false;
    }
    copyBounded(text, "Tavenor", 32);
    return true;
}

bool Quorvel::fillVendorText(char* text) {
    if (text == nullptr) {
        return false;
    }
    copyBounded(text, "Halvorn Media Technologies", 64);
    return true;
}

bool Quorvel::fillProductText(char* text) {
    if (text == nullptr) {
        return false;
    }
    copyBounded(text, "Tavenor", 64);
    return true;
}

std::int32_t Quorvel::vendorVersion() {
    return 1000;
}
