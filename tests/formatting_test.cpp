// Value-to-text formatting: the texts of the examples, the out-of-range and not-a-number
// texts, and the bound (a zero at maxLength, nothing beyond).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "framework/audio_effect_x.h"
#include "framework/bounded_text.h"

namespace {

class PlainEffect : public AudioEffectX {
public:
    PlainEffect() : AudioEffectX(nullptr, 1, 7) {}
    void processFloatBlock(float**, float**, std::int32_t) override {}
};

constexpr char canary = '\x5A';
constexpr int canaryBytes = 16;

enum class Format { decibels, hertz, milliseconds, floating, integer };

void runFormat(PlainEffect& effect, Format format, double value, char* text, std::int32_t maxLength) {
    const auto single = static_cast<float>(value);
    switch (format) {
    case Format::decibels:
        effect.formatDecibels(single, text, maxLength);
        break;
    case Format::hertz:
        effect.formatHertz(single, text, maxLength);
        break;
    case Format::milliseconds:
        effect.formatMilliseconds(single, text, maxLength);
        break;
    case Format::floating:
        effect.formatFloat(single, text, maxLength);
        break;
    case Format::integer:
        effect.formatInteger(static_cast<std::int32_t>(value), text, maxLength);
        break;
    }
}

// Formats into a buffer of maxLength + 1 bytes followed by canaries, checks that the first
// maxLength + 1 bytes hold the text padded with zeros and that no canary was touched, and
// answers the text.
std::string formatted(PlainEffect& effect, Format format, double value, std::int32_t maxLength = 31) {
    std::vector<char> buffer(static_cast<std::size_t>(maxLength) + 1 + canaryBytes, canary);
    runFormat(effect, format, value, buffer.data(), maxLength);
    const std::string text(buffer.data());
    EXPECT_LE(text.size(), static_cast<std::size_t>(maxLength));
    for (std::int32_t i = static_cast<std::int32_t>(text.size()); i <= maxLength; ++i) {
        EXPECT_EQ(buffer[static_cast<std::size_t>(i)], '\0') << "position " << i << " of " << maxLength;
    }
    for (std::size_t i = static_cast<std::size_t>(maxLength) + 1; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], canary) << "written past position " << maxLength;
    }
    return text;
}

TEST(FormattingTest, FloatTextsCutTheirDecimals) {
    PlainEffect effect;
    // clang-format off
    const struct {
        double value;
        const char* text;
    } examples[] = {
        {0.0, "0.000000"},        {0.5, "0.500000"},         {-0.5, "-0.50000"},
        {0.7, "0.699999"},        {123.456, "123.4560"},     {1234567.0, "1234567."},
        {-123456.0, "-123456."},  {9999999.0, "9999999."},   {-999999.0, "-999999."},
        {100000000.0, "Huge!"},   {-10000000.0, "Huge!"},
        // Beyond eight characters every integer digit and the point are kept.
        {12345678.0, "12345678."}, {99999992.0, "99999992."}, {-1234567.0, "-1234567."},
        {-9999999.0, "-9999999."},
        {std::numeric_limits<double>::infinity(), "Huge!"},
        {-std::numeric_limits<double>::infinity(), "Huge!"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
    };
    // clang-format on
    for (const auto& example : examples) {
        EXPECT_EQ(formatted(effect, Format::floating, example.value), example.text) << example.value;
    }
    EXPECT_EQ(formatted(effect, Format::floating, 0.5, 4), "0.50");
    EXPECT_EQ(formatted(effect, Format::floating, 12345678.0, 8), "12345678");
}

TEST(FormattingTest, LevelsFrequenciesAndDurationsGoThroughFormatFloat) {
    PlainEffect effect;
    EXPECT_EQ(formatted(effect, Format::decibels, 1.0), "0.000000");
    EXPECT_EQ(formatted(effect, Format::decibels, 10.0), "20.00000");
    EXPECT_EQ(formatted(effect, Format::decibels, 0.0), "-oo");
    EXPECT_EQ(formatted(effect, Format::decibels, -1.0), "-oo");
    EXPECT_EQ(formatted(effect, Format::decibels, std::nan("")), "NaN");

    EXPECT_EQ(formatted(effect, Format::hertz, 441.0), "100.0000");
    EXPECT_EQ(formatted(effect, Format::hertz, 0.0), "0.000000");
    EXPECT_EQ(formatted(effect, Format::milliseconds, 441.0), "10.00000");
    EXPECT_EQ(formatted(effect, Format::milliseconds, 44100.0), "1000.000");
    // samples x 1000 is formed in double: 417022.0032 ms-samples, where the float product
    // 417022 would read "9.456280".
    EXPECT_EQ(formatted(effect, Format::milliseconds, 417.022), "9.456281");

    // Both follow the sample rate the host set.
    effect.applySampleRate(48000.0F);
    EXPECT_EQ(formatted(effect, Format::hertz, 480.0), "100.0000");
    EXPECT_EQ(formatted(effect, Format::milliseconds, 480.0), "10.00000");

    // An effect's own formatFloat shapes the other three texts.
    class BracketEffect : public PlainEffect {
    public:
        void formatFloat(float, char* text, std::int32_t maxLength) override { copyBounded(text, "[]", maxLength); }
    } bracket;
    EXPECT_EQ(formatted(bracket, Format::decibels, 10.0), "[]");
    EXPECT_EQ(formatted(bracket, Format::hertz, 441.0), "[]");
    EXPECT_EQ(formatted(bracket, Format::milliseconds, 441.0), "[]");
}

TEST(FormattingTest, IntegerTexts) {
    PlainEffect effect;
    // clang-format off
    const struct {
        std::int32_t value;
        const char* text;
    } examples[] = {
        {0, "0"},
        {5, "5"},
        {-42, "-42"},
        {1000, "1000"},
        {99999999, "99999999"},
        {100000000, "Huge!"},
        {std::numeric_limits<std::int32_t>::max(), "Huge!"},
        {-123456789, "-123456789"},
        {-999999999, "-999999999"},
        {-1000000000, "Huge!"},
        {std::numeric_limits<std::int32_t>::min(), "Huge!"},
    };
    // clang-format on
    for (const auto& example : examples) {
        EXPECT_EQ(formatted(effect, Format::integer, example.value), example.text) << example.value;
    }
    EXPECT_EQ(formatted(effect, Format::integer, 12345, 3), "123");
}

TEST(FormattingTest, EveryTextIsCutAtMaxLength) {
    PlainEffect effect;
    // clang-format off
    const struct {
        Format format;
        std::vector<double> values;
    } cases[] = {
        {Format::floating, {0.0, 0.7, -0.5, 123.456, -123456.0, 12345678.0, -1234567.0, 1e9, std::nan("")}},
        {Format::integer, {0, -42, 99999999, -123456789, 100000000, -2147483648.0}},
        {Format::decibels, {0.0, 0.001, 10.0}},
        {Format::hertz, {0.0, 441.0, 0.5}},
        {Format::milliseconds, {441.0, 1e9}},
    };
    // clang-format on
    for (const auto& each : cases) {
        for (const double value : each.values) {
            const std::string full = formatted(effect, each.format, value, 40);
            for (std::int32_t maxLength = 0; maxLength <= 12; ++maxLength) {
                EXPECT_EQ(formatted(effect, each.format, value, maxLength), full.substr(0, maxLength))
                    << "value " << value << " maxLength " << maxLength;
            }
        }
    }

    // A negative bound or a null buffer writes nothing.
    char buffer[8];
    std::memset(buffer, canary, sizeof buffer);
    for (const Format format :
         {Format::decibels, Format::hertz, Format::milliseconds, Format::floating, Format::integer}) {
        runFormat(effect, format, 441.0, buffer, -1);
        runFormat(effect, format, 441.0, nullptr, 8);
    }
    for (const char c : buffer) {
        EXPECT_EQ(c, canary);
    }
}

}  // namespace
