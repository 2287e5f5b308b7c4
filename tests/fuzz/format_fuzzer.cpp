// The five value-to-text operations with arbitrary floats (NaN, infinities, subnormals),
// arbitrary integers, arbitrary sample rates and every maxLength from 0 to 64.
//
// Each text goes into a heap block of exactly maxLength + 1 bytes, so AddressSanitizer stops
// any write past it. The harness further checks that a zero stands at maxLength, that no byte
// of the old contents survives behind the text, that the text is printable, that a shorter
// maxLength only cuts the longer text, and, where the text is fixed, its content: integers as
// std::to_string gives them, "Huge!" out of range, "-oo" for gains at or below zero, and
// floats as 8 characters whose decimals are cut, never rounded.
//
// Input: a sequence of steps: operation byte, 32-bit value, maxLength byte.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "effect/quorvel.h"
#include "fuzz_input.h"

namespace {

constexpr std::int32_t longest = 64;
constexpr std::uint8_t staleByte = 0xA5;

enum class Operation : std::uint8_t { decibels, hertz, milliseconds, floating, integer, sampleRate, count };

// The text an operation writes with maxLength `maxLength`, after the checks that hold for
// every text.
std::string formatted(AudioEffect& effect, Operation operation, std::uint32_t bits, std::int32_t maxLength) {
    const std::size_t size = static_cast<std::size_t>(maxLength) + 1;
    const std::unique_ptr<char[]> text(new char[size]);
    std::memset(text.get(), staleByte, size);
    const float value = std::bit_cast<float>(bits);
    switch (operation) {
    case Operation::decibels:
        effect.formatDecibels(value, text.get(), maxLength);
        break;
    case Operation::hertz:
        effect.formatHertz(value, text.get(), maxLength);
        break;
    case Operation::milliseconds:
        effect.formatMilliseconds(value, text.get(), maxLength);
        break;
    case Operation::floating:
        effect.formatFloat(value, text.get(), maxLength);
        break;
    default:
        effect.formatInteger(static_cast<std::int32_t>(bits), text.get(), maxLength);
        break;
    }

    fuzzCheck(text[maxLength] == '\0', "no zero at maxLength");
    const std::size_t length = std::strlen(text.get());
    for (std::size_t i = 0; i < length; ++i) {
        fuzzCheck(text[i] >= 0x20 && text[i] < 0x7F, "a text holds an unprintable character");
    }
    for (std::size_t i = length; i < size; ++i) {
        fuzzCheck(text[i] == '\0', "old buffer contents survive behind the text");
    }
    return std::string(text.get(), length);
}

// The text of a float with room for all of it: an optional minus sign, the integer digits
// and a point, then decimals up to 8 characters, cut and not rounded. Only called for
// values whose text is fixed: |value| below 10^7 (10^6 when negative).
void checkFloatText(float value, const std::string& text) {
    const double magnitude = std::fabs(static_cast<double>(value));
    const bool negative = value < 0.0F;
    const std::string integerPart =
        (negative ? "-" : "") + std::to_string(static_cast<long long>(std::floor(magnitude))) + ".";
    fuzzCheck(text.size() == 8, "a float's text is not 8 characters");
    fuzzCheck(text.compare(0, integerPart.size(), integerPart) == 0, "a float's integer digits are wrong");
    const std::size_t decimals = 8 - integerPart.size();
    for (std::size_t i = integerPart.size(); i < text.size(); ++i) {
        fuzzCheck(text[i] >= '0' && text[i] <= '9', "a float's decimals are not digits");
    }
    // Cut, never rounded: the text's value lies within one unit of the last decimal below
    // the value (the slack covers the binary arithmetic of the cut).
    const double shown = std::fabs(std::strtod(text.c_str(), nullptr));
    const double unit = std::pow(10.0, -static_cast<double>(decimals));
    const double slack = 1e-9 * std::max(1.0, magnitude);
    fuzzCheck(shown <= magnitude + slack && magnitude - shown < unit + slack, "a float's decimals are not cut");
}

void checkFullText(AudioEffect& effect, Operation operation, std::uint32_t bits, const std::string& text) {
    const float value = std::bit_cast<float>(bits);
    switch (operation) {
    case Operation::integer: {
        const auto number = static_cast<std::int32_t>(bits);
        if (number >= 100000000) {
            fuzzCheck(text == "Huge!", "a large integer is not Huge!");
        } else if (number > -1000000000) {
            fuzzCheck(text == std::to_string(number), "an integer's text is wrong");
        }
        break;
    }
    case Operation::floating:
        if (static_cast<double>(value) > 99999999.0 || value < -9999999.0F) {
            fuzzCheck(text == "Huge!", "a float out of range is not Huge!");
        } else if (value > -1000000.0F && value < 10000000.0F) {
            checkFloatText(value, text);
        }
        break;
    case Operation::decibels:
        if (value <= 0.0F) {
            fuzzCheck(text == "-oo", "a gain at or below zero is not -oo");
        } else if (!std::isnan(value)) {
            const auto level = static_cast<float>(std::log10(static_cast<double>(value)));
            const auto decibels = static_cast<float>(static_cast<double>(level) * 20.0);
            fuzzCheck(text == formatted(effect, Operation::floating, std::bit_cast<std::uint32_t>(decibels), longest),
                      "decibels are not the float text of 20 log10(value)");
        }
        break;
    case Operation::hertz: {
        const float hertz = value == 0.0F ? 0.0F : effect.sampleRate() / value;
        fuzzCheck(text == formatted(effect, Operation::floating, std::bit_cast<std::uint32_t>(hertz), longest),
                  "hertz are not the float text of rate / samples");
        break;
    }
    case Operation::milliseconds: {
        const auto milliseconds =
            static_cast<float>(static_cast<double>(value) * 1000.0 / static_cast<double>(effect.sampleRate()));
        fuzzCheck(text == formatted(effect, Operation::floating, std::bit_cast<std::uint32_t>(milliseconds), longest),
                  "milliseconds are not the float text of 1000 samples / rate");
        break;
    }
    default:
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::unique_ptr<AudioEffect> effect(createEffect(nullptr));
    fuzzCheck(effect != nullptr, "no effect");
    for (int steps = 0; steps < 64 && !in.empty(); ++steps) {
        const auto operation = static_cast<Operation>(in.u8() % static_cast<std::uint8_t>(Operation::count));
        const std::uint32_t bits = in.u32();
        const std::int32_t maxLength = in.u8() % (longest + 1);
        if (operation == Operation::sampleRate) {
            effect->applySampleRate(std::bit_cast<float>(bits));
            continue;
        }
        const std::string full = formatted(*effect, operation, bits, longest);
        const std::string cut = formatted(*effect, operation, bits, maxLength);
        fuzzCheck(cut == full.substr(0, static_cast<std::size_t>(maxLength)),
                  "a shorter maxLength does not just cut the text");
        checkFullText(*effect, operation, bits, full);
    }
    return 0;
}
