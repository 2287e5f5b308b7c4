// Value-to-text formatting: numbers become short display texts of at most maxLength
// characters and a zero, written into the caller's buffer, which holds maxLength + 1
// characters. A null buffer or a negative maxLength writes nothing. Decimals are cut, never
// rounded, and a value that does not fit gives "Huge!".
#include <cmath>
#include <cstdint>

#include "framework/audio_effect.h"
#include "framework/bounded_text.h"

namespace {

constexpr const char* hugeText = "Huge!";
constexpr const char* minusInfinityText = "-oo";
constexpr const char* notANumberText = "NaN";

// formatFloat fills this many characters (sign, integer digits, point, decimals) before the
// cut by maxLength. Larger magnitudes keep all their integer digits and the point.
constexpr int floatTextWidth = 8;
// The largest magnitudes formatFloat writes as digits, without and with a minus sign.
constexpr double largestFloat = 99999999.0;
constexpr double largestNegativeFloat = 9999999.0;

// formatInteger writes at most nine digits: positive values up to eight, negative ones up
// to nine after the minus sign. Outside that range it writes "Huge!", which also keeps the
// most negative integer away from a negation that would overflow.
constexpr std::int32_t largestInteger = 99999999;
constexpr std::int32_t smallestInteger = -999999999;
constexpr std::int32_t highestPlace = 100000000;

char digitCharacter(int digit) {
    return static_cast<char>('0' + digit);
}

}  // namespace

void AudioEffect::formatDecibels(float value, char* text, std::int32_t maxLength) {
    if (text == nullptr) {
        return;
    }
    if (value <= 0.0F) {
        copyBounded(text, minusInfinityText, maxLength);
        return;
    }
    // Both steps are rounded to single precision, as a float-based display would show them.
    const auto logarithm = static_cast<float>(std::log10(static_cast<double>(value)));
    const auto decibels = static_cast<float>(static_cast<double>(logarithm) * 20.0);
    formatFloat(decibels, text, maxLength);
}

void AudioEffect::formatHertz(float samples, char* text, std::int32_t maxLength) {
    if (text == nullptr) {
        return;
    }
    const float rate = sampleRate();
    if (samples == 0.0F) {
        formatFloat(0.0F, text, maxLength);
        return;
    }
    formatFloat(rate / samples, text, maxLength);
}

void AudioEffect::formatMilliseconds(float samples, char* text, std::int32_t maxLength) {
    if (text == nullptr) {
        return;
    }
    const double milliSamples = static_cast<double>(samples) * 1000.0;
    const float rate = sampleRate();
    formatFloat(static_cast<float>(milliSamples / static_cast<double>(rate)), text, maxLength);
}

void AudioEffect::formatFloat(float value, char* text, std::int32_t maxLength) {
    if (text == nullptr) {
        return;
    }
    double magnitude = value;
    if (std::isnan(magnitude)) {
        copyBounded(text, notANumberText, maxLength);
        return;
    }
    const bool negative = magnitude < 0.0;
    if (negative) {
        magnitude = -magnitude;
    }
    // Infinities fail these tests too.
    if (magnitude > (negative ? largestNegativeFloat : largestFloat)) {
        copyBounded(text, hugeText, maxLength);
        return;
    }

    // The integer part, built from the right: the point, the digits from the least
    // significant up (at least one, so values below 1 show a 0), then the sign.
    char scratch[32];
    int start = static_cast<int>(sizeof scratch) - 1;
    scratch[start] = '\0';
    scratch[--start] = '.';
    double whole = std::floor(magnitude);
    do {
        scratch[--start] = digitCharacter(static_cast<int>(std::fmod(whole, 10.0)));
        whole /= 10.0;
    } while (whole >= 1.0);
    if (negative) {
        scratch[--start] = '-';
    }
    const int integerLength = static_cast<int>(sizeof scratch) - 1 - start;
    copyBounded(text, scratch + start, maxLength);
    if (integerLength >= floatTextWidth) {
        return;
    }

    // The decimals that fill the width, also from the least significant up. Dividing
    // without rounding and truncating each digit cuts the fraction instead of rounding it.
    const int decimalCount = floatTextWidth - integerLength;
    double fraction = std::fmod(magnitude, 1.0) * std::pow(10.0, decimalCount);
    char decimals[floatTextWidth + 1];
    decimals[decimalCount] = '\0';
    for (int i = decimalCount - 1; i >= 0; --i) {
        int digit = 0;
        if (fraction > 0.0) {
            digit = static_cast<int>(std::fmod(fraction, 10.0));
            fraction /= 10.0;
        }
        decimals[i] = digitCharacter(digit);
    }
    appendBounded(text, decimals, maxLength);
}

void AudioEffect::formatInteger(std::int32_t value, char* text, std::int32_t maxLength) {
    if (text == nullptr) {
        return;
    }
    if (value > largestInteger || value < smallestInteger) {
        copyBounded(text, hugeText, maxLength);
        return;
    }
    std::int32_t remaining = value;
    if (value < 0) {
        copyBounded(text, "-", maxLength);
        remaining = -value;
    } else {
        copyBounded(text, "", maxLength);
    }

    bool started = false;
    for (std::int32_t place = highestPlace; place >= 1; place /= 10) {
        const std::int32_t quotient = remaining / place;
        remaining -= quotient * place;
        if (quotient > 0 || started) {
            started = true;
            const char digit[2] = {digitCharacter(quotient), '\0'};
            appendBounded(text, digit, maxLength);
        }
    }
    if (!started) {
        appendBounded(text, "0", maxLength);
    }
}
