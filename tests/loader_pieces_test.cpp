// The loader's shared pieces that info, render and the validator all rely on: the text rule,
// the channel buffers of a process call and the hex form of codes.
#include <gtest/gtest.h>

#include "host/loader/channel_buffers.h"
#include "host/loader/hex_text.h"
#include "host/loader/text_judge.h"

using namespace quorvel::host;

TEST(TextJudgeTest, TellsWritesOutsideTheBufferFromTextsOnlyPastTheirNominalSize) {
    TextJudge judge;
    // Exactly the nominal size with its zero: fine. One byte more: long. A problem: a fault,
    // even when the text is long too.
    EXPECT_EQ(judge.take({"12345678", "", 9}, "fits"), "12345678");
    EXPECT_EQ(judge.take({"123456789", "", 9}, "first long"), "123456789");
    EXPECT_EQ(judge.take({"abcdefghijklmnop", "wrote past its buffer", 9}, "overrun"), "abcdefghijklmnop");
    judge.take({"123456789012", "", 9}, "longest");
    judge.take({"abcdefghijkl", "", 9}, "as long, later");

    ASSERT_EQ(judge.faults().size(), 1U);
    EXPECT_EQ(judge.faults()[0].what, "overrun");
    EXPECT_EQ(judge.faults()[0].problem, "wrote past its buffer");
    ASSERT_EQ(judge.longTexts().size(), 3U);
    EXPECT_EQ(judge.longTexts()[0].length, 10U);
    EXPECT_EQ(judge.longTexts()[0].nominal, 9U);
    ASSERT_NE(judge.longest(), nullptr);
    EXPECT_EQ(judge.longest()->what, "longest");
    EXPECT_EQ(judge.longest()->length, 13U);

    EXPECT_EQ(TextJudge().longest(), nullptr);
}

TEST(ChannelBuffersTest, PointersFollowTheOffsetAndCanBeLentToAnotherBuffer) {
    ChannelBuffers<float> in(2, 8);
    ChannelBuffers<float> out(3, 8);
    ASSERT_EQ(in.channels(), 2);
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(in.buffer(c)[k], 0.0F);  // made silent
            in.buffer(c)[k] = static_cast<float>(10 * c + k);
        }
    }
    in.pointAt(5);
    EXPECT_EQ(in.pointers()[0][0], 5.0F);
    EXPECT_EQ(in.pointers()[1][2], 17.0F);
    in.pointAt(0);
    EXPECT_EQ(in.pointers()[1], in.buffer(1));

    // In place: output 1 writes into input 1; the other outputs keep their own buffers.
    out.pointAt(1, in.pointers()[1]);
    out.pointers()[1][0] = -1.0F;
    EXPECT_EQ(in.buffer(1)[0], -1.0F);
    EXPECT_EQ(out.buffer(1)[0], 0.0F);
    EXPECT_EQ(out.pointers()[2], out.buffer(2));

    EXPECT_EQ(ChannelBuffers<double>(0, 8).channels(), 0);
}

TEST(HexTextTest, WritesAllThirtyTwoBitsAsEightUpperCaseDigits) {
    EXPECT_EQ(hexText(0x54766E72), "0x54766E72");
    EXPECT_EQ(hexText(0), "0x00000000");
    EXPECT_EQ(hexText(-1), "0xFFFFFFFF");
    EXPECT_EQ(hexText(INT32_MIN), "0x80000000");
}
