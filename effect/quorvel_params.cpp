// Quorvel's parameters, program name and identity as the host sees them.
#include <atomic>
#include <cstring>

#include "effect/quorvel.h"
#include "effect/value_text.h"
#include "framework/bounded_text.h"

namespace {

using Param = Quorvel::Param;

struct ParamInfo {
    Param param;
    const char* title;
    const char* unit;
};

// In index order; each row names its parameter, checked below.
constexpr ParamInfo paramInfo[Quorvel::paramCount] = {
    {Param::balance, "Tavenor", "LR_Bal"},    {Param::leftDur, "LDur", ""},  {Param::leftAmp, "LAmp", "amp"},
    {Param::leftPeriod, "LPeriod", "shift"},  {Param::rightDur, "RDur", ""}, {Param::rightAmp, "RAmp", "amp"},
    {Param::rightPeriod, "RPeriod", "shift"},
};

constexpr bool rowsInIndexOrder() {
    for (std::int32_t i = 0; i < Quorvel::paramCount; ++i) {
        if (static_cast<std::int32_t>(paramInfo[i].param) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rowsInIndexOrder());

bool inRange(std::int32_t index) {
    return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(Quorvel::paramCount);
}

}  // namespace

float* Quorvel::paramField(std::int32_t index) {
    if (!inRange(index)) {
        return nullptr;
    }
    switch (static_cast<Param>(index)) {
    case Param::balance:
        return &balance;
    case Param::leftDur:
        return &leftDur;
    case Param::leftAmp:
        return &leftAmp;
    case Param::leftPeriod:
        return &leftPeriod;
    case Param::rightDur:
        return &rightDur;
    case Param::rightAmp:
        return &rightAmp;
    case Param::rightPeriod:
        return &rightPeriod;
    }
    return nullptr;
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
        copyBounded(text, paramInfo[index].title, paramTextLength);
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
    switch (static_cast<Param>(index)) {
    case Param::balance:
        printPercent(value, text);
        break;
    case Param::leftDur:
    case Param::rightDur:
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
    copyBounded(text, "Tavenor", effectNameLength);
    return true;
}

bool Quorvel::fillVendorText(char* text) {
    if (text == nullptr) {
        return false;
    }
    copyBounded(text, "Halvorn Media Technologies", vendorTextLength);
    return true;
}

bool Quorvel::fillProductText(char* text) {
    if (text == nullptr) {
        return false;
    }
    copyBounded(text, "Tavenor", vendorTextLength);
    return true;
}

std::int32_t Quorvel::vendorVersion() {
    return 1000;
}
