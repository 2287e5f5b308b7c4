// The bounded text copies behind every name and formatted value: padding, cutting, and
// nothing written past the bound.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/bounded_text.h"

namespace {

constexpr char canary = '\x5A';

TEST(BoundedTextTest, CopyPadsAndAppendCutsWithoutWritingPastTheBound) {
    char buffer[40];
    std::memset(buffer, canary, sizeof buffer);
    copyBounded(buffer, "abcdefghijklmnopqrstuvwxyz0123", 24);
    EXPECT_EQ(std::string(buffer), "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(buffer[25], canary);

    std::memset(buffer, canary, sizeof buffer);
    copyBounded(buffer, "Default", 24);
    EXPECT_EQ(std::string(buffer), "Default");
    for (int i = 7; i <= 24; ++i) {
        EXPECT_EQ(buffer[i], '\0') << i;
    }
    EXPECT_EQ(buffer[25], canary);

    std::memset(buffer, canary, sizeof buffer);
    std::memcpy(buffer, "1234", 5);
    EXPECT_EQ(appendBounded(buffer, "abc", 5), buffer);
    EXPECT_EQ(std::string(buffer), "1234a");
    EXPECT_EQ(buffer[6], canary);

    // Between the new end and position n nothing is written; position n gets a zero.
    std::memset(buffer, canary, sizeof buffer);
    std::memcpy(buffer, "ab", 3);
    appendBounded(buffer, "c", 10);
    EXPECT_EQ(std::string(buffer), "abc");
    for (int i = 4; i < 10; ++i) {
        EXPECT_EQ(buffer[i], canary) << i;
    }
    EXPECT_EQ(buffer[10], '\0');
    EXPECT_EQ(buffer[11], canary);

    // A destination without a zero in its first n characters is cut at n.
    std::memset(buffer, 'x', sizeof buffer);
    appendBounded(buffer, "yz", 3);
    EXPECT_EQ(std::string(buffer), "xxx");

    // Null texts and negative bounds write nothing; a null source counts as empty.
    std::memset(buffer, canary, sizeof buffer);
    EXPECT_EQ(copyBounded(nullptr, "abc", 3), nullptr);
    EXPECT_EQ(appendBounded(nullptr, "abc", 3), nullptr);
    copyBounded(buffer, "abc", -1);
    appendBounded(buffer, "abc", -1);
    EXPECT_EQ(buffer[0], canary);
    copyBounded(buffer, nullptr, 2);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[2], '\0');
    EXPECT_EQ(buffer[3], canary);
}

}  // namespace
