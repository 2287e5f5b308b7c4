#include "effect/value_text.h"

#include <cmath>
#include <cstring>

namespace {

// Scaled magnitudes from here up would need far more than paramTextLength integer digits,
// so they read "Huge!" before any digit is built. Below it the conversion to a 64-bit
// integer is exact.
constexpr double hugeScaled = 1e15;

// A text under construction: sign, integer digits, point, decimals and suffix. The longest
// one (a minus sign, fifteen digits and a percent sign) leaves plenty of room.
class TextBuilder {
public:
    void append(const char* part) {
        while (*part != '\0') {
            chars[length++] = *part++;
        }
    }

    // Appends the decimal digits of n, with leading zeros up to minDigits.
    void appendDigits(std::uint64_t n, int minDigits) {
        char reversed[20];
        int count = 0;
        do {
            reversed[count++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n != 0 || count < minDigits);
        while (count > 0) {
            chars[length++] = reversed[--count];
        }
    }

    // Writes the text into the host's buffer: as it stands when it fits, cut to
    // paramTextLength characters when only decimals (and the point) are cut away, otherwise
    // "Huge!". Writes the text and its zero, nothing more.
    void writeTo(char* text, bool hasSuffix) const {
        std::size_t kept = length;
        if (kept > paramTextLength) {
            const void* point = std::memchr(chars, '.', length);
            const std::size_t integerEnd =
                point != nullptr ? static_cast<std::size_t>(static_cast<const char*>(point) - chars) : length;
            if (hasSuffix || integerEnd > paramTextLength) {
                std::memcpy(text, "Huge!", sizeof "Huge!");
                return;
            }
            kept = paramTextLength;
        }
        std::memcpy(text, chars, kept);
        text[kept] = '\0';
    }

private:
    char chars[40] = {};
    std::size_t length = 0;
};

// Prints round(|value| x factor), split into an integer part and `decimals` decimals, with
// the sign of `value` and a suffix. `factor` is 10^k with k <= 6: its odd part 5^k needs at
// most 14 bits, a float at most 24, so the product is exact in the 53 bits of a double and
// so are the truncation and the half test below. No printf: its conversions round an exact
// half to even on some C libraries.
void printFixed(float value, double factor, int decimals, const char* suffix, char* text) {
    if (text == nullptr) {
        return;
    }
    const bool hasSuffix = *suffix != '\0';
    TextBuilder built;
    if (std::isnan(value)) {
        built.append("nan");
    } else {
        if (std::signbit(value)) {
            built.append("-");
        }
        if (std::isinf(value)) {
            built.append("inf");
        } else {
            const double scaled = std::fabs(static_cast<double>(value)) * factor;
            if (!(scaled < hugeScaled)) {
                std::memcpy(text, "Huge!", sizeof "Huge!");
                return;
            }
            auto units = static_cast<std::uint64_t>(scaled);
            if (scaled - static_cast<double>(units) >= 0.5) {
                ++units;  // an exact half goes away from zero
            }
            std::uint64_t unitsPerOne = 1;
            for (int d = 0; d < decimals; ++d) {
                unitsPerOne *= 10;
            }
            built.appendDigits(units / unitsPerOne, 1);
            if (decimals > 0) {
                built.append(".");
                built.appendDigits(units % unitsPerOne, decimals);
            }
        }
    }
    built.append(suffix);
    built.writeTo(text, hasSuffix);
}

}  // namespace

void printPercent(float value, char* text) {
    printFixed(value, 100.0, 0, "%", text);
}

void printSixDecimals(float value, char* text) {
    printFixed(value, 1e6, 6, "", text);
}
