// Parameter value texts: exact rounding with halves away from zero, agreement with the C
// library's fixed-point conversion wherever that is not a tie, and the 8-character bound.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "effect/value_text.h"

namespace {

std::string percentOf(float value) {
    char text[paramTextLength + 1];
    printPercent(value, text);
    return text;
}

std::string sixDecimalsOf(float value) {
    char text[paramTextLength + 1];
    printSixDecimals(value, text);
    return text;
}

TEST(ValueTextTest, ExactHalvesRoundAwayFromZero) {
    struct Case {
        float value;
        const char* percent;
        const char* sixDecimals;
    };
    // clang-format off
    const Case cases[] = {
        {0.125F, "13%", "0.125000"},
        {0.375F, "38%", "0.375000"},
        {0.005F, "0%", "0.005000"},  // the float lies just below 0.005: 0.4999... percent
        {0.0078125F, "1%", "0.007813"},
        {0.0234375F, "2%", "0.023438"},
        {0.5078125F, "51%", "0.507813"},
        {0.9921875F, "99%", "0.992188"},
        {0.995F, "100%", "0.995000"},  // just above 99.5
        {0.5F, "50%", "0.500000"},
        {0.37F, "37%", "0.370000"},
        {1.0F, "100%", "1.000000"},
        {0.0F, "0%", "0.000000"},
        {0.7F, "70%", "0.700000"},  // rounded, not cut: the float lies just below 0.7
        {1e-30F, "0%", "0.000000"},
        {0.0000005F, "0%", "0.000000"},  // the float lies just below the half
        {0.00000051F, "0%", "0.000001"},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(percentOf(c.value), c.percent) << c.value;
        EXPECT_EQ(sixDecimalsOf(c.value), c.sixDecimals) << c.value;
    }
    // Negative halves go away from zero too, to the more negative neighbour.
    EXPECT_EQ(percentOf(-0.125F), "-13%");
    EXPECT_EQ(percentOf(-0.005F), "-0%");               // -0.4999...
    EXPECT_EQ(percentOf(-0.115F), "-12%");              // -11.5000002
    EXPECT_EQ(sixDecimalsOf(-0.0078125F), "-0.00781");  // "-0.007813", cut to 8 characters
}

// Every text either fits in 8 characters or loses only decimals; otherwise it reads "Huge!".
TEST(ValueTextTest, LongTextsLoseOnlyDecimalsOrReadHuge) {
    struct Case {
        float value;
        const char* percent;
        const char* sixDecimals;
    };
    const Case cases[] = {
        {-0.25F, "-25%", "-0.25000"},       {1.5F, "150%", "1.500000"},
        {12.5F, "1250%", "12.50000"},       {99999.99F, "9999999%", "99999.99"},
        {100000.0F, "Huge!", "100000.0"},   {-99999.0F, "Huge!", "-99999.0"},  // "-9999900%" has 9 characters
        {-99999.99F, "Huge!", "-99999.9"},                                     // percent would lose its sign
        {1234567.0F, "Huge!", "1234567."},  {12345678.0F, "Huge!", "12345678"},
        {-1234567.0F, "Huge!", "-1234567"}, {100000000.0F, "Huge!", "Huge!"},
        {-12345678.0F, "Huge!", "Huge!"},   {3e38F, "Huge!", "Huge!"},
        {-3e38F, "Huge!", "Huge!"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(percentOf(c.value), c.percent) << c.value;
        EXPECT_EQ(sixDecimalsOf(c.value), c.sixDecimals) << c.value;
    }
}

TEST(ValueTextTest, SignedZeroNanAndInfinitiesReadLikePrintf) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(percentOf(-0.0F), "-0%");
    EXPECT_EQ(sixDecimalsOf(-0.0F), "-0.00000");
    EXPECT_EQ(percentOf(-0.001F), "-0%");
    EXPECT_EQ(percentOf(nan), "nan%");
    EXPECT_EQ(sixDecimalsOf(nan), "nan");
    EXPECT_EQ(sixDecimalsOf(-nan), "nan");
    EXPECT_EQ(percentOf(inf), "inf%");
    EXPECT_EQ(percentOf(-inf), "-inf%");
    EXPECT_EQ(sixDecimalsOf(inf), "inf");
    EXPECT_EQ(sixDecimalsOf(-inf), "-inf");
}

// Wherever the scaled value is not an exact half, the C library's fixed-point conversion
// rounds the same way, so its texts are the expected ones. The sweep covers a spread of
// floats whose texts need no cut.
TEST(ValueTextTest, AgreesWithTheCLibraryAwayFromTies) {
    auto isTie = [](float value, double factor) {
        const double scaled = std::fabs(static_cast<double>(value)) * factor;
        return scaled - std::floor(scaled) == 0.5;
    };
    const auto last = std::bit_cast<std::uint32_t>(9.999F);
    int compared = 0;
    for (std::uint32_t bits = 0; bits <= last; bits += 7919) {
        const float value = std::bit_cast<float>(bits);
        char expected[64];
        if (!isTie(value, 1e6)) {
            std::snprintf(expected, sizeof expected, "%f", static_cast<double>(value));
            ASSERT_EQ(sixDecimalsOf(value), expected) << std::bit_cast<std::uint32_t>(value);
            ++compared;
        }
        const float negative = -value * 1000.0F;  // up to 5 integer digits with the sign
        if (!isTie(negative, 100.0)) {
            std::snprintf(expected, sizeof expected, "%.0f%%", static_cast<double>(negative) * 100.0);
            ASSERT_EQ(percentOf(negative), expected) << negative;
        }
    }
    EXPECT_GT(compared, 100000);
}

}  // namespace
