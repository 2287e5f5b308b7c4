// Quorvel's sound checked bit for bit against the plain per-frame formula.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "effect/quorvel.h"
#include "plain_formula.h"

namespace {

TEST(QuorvelProcessTest, DefaultsHalveBothSidesAndBalanceMovesTheSignal) {
    OwnedQuorvel q;
    std::vector<float> inL{1.0F, -0.25F, 0.75F}, inR{0.5F, 2.0F, -1.0F}, outL(3), outR(3);
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    q.effect->processFloatBlock(ins, outs, 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(outL[k], 0.5F * inL[k]);
        EXPECT_EQ(outR[k], 0.5F * inR[k]);
    }
    q.effect->writeParam(0, 0.0F);
    q.effect->processFloatBlock(ins, outs, 3);
    EXPECT_EQ(outL, inL);
    EXPECT_EQ(outR, (std::vector<float>{0.0F, 0.0F, -0.0F}));
    q.effect->writeParam(0, 1.0F);
    q.effect->processFloatBlock(ins, outs, 3);
    EXPECT_EQ(outR, inR);
}

TEST(QuorvelProcessTest, WavesStartAtZeroPhaseAndUseRadians) {
    OwnedQuorvel q;
    q.effect->writeParam(1, 1.0F);  // left wave on
    q.effect->writeParam(4, 0.6F);  // right wave on
    q.effect->writeParam(5, 0.75F);
    std::vector<double> inL(12, 1.0), inR(12, 1.0), outL(12), outR(12);
    double* ins[2] = {inL.data(), inR.data()};
    double* outs[2] = {outL.data(), outR.data()};
    q.effect->processDoubleBlock(ins, outs, 12);
    EXPECT_EQ(outL[0], 0.0);               // sine of 0
    EXPECT_EQ(outR[0], 0.75 * 1.0 * 0.5);  // cosine of 0, times amplitude and balance
    EXPECT_EQ(outL[10], std::sin(10.0) * 1.0 * 1.0 * 0.5) << "10 frames are 10 radians";

    // A period of 1 stops the argument at 0: the left side is silent, the right a constant gain.
    q.effect->writeParam(3, 1.0F);
    q.effect->writeParam(6, 1.0F);
    q.effect->processDoubleBlock(ins, outs, 12);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(outL[k], 0.0);
        EXPECT_EQ(outR[k], 0.375);
    }
    // A switch value of exactly 0.5 is off.
    q.effect->writeParam(1, 0.5F);
    q.effect->processDoubleBlock(ins, outs, 1);
    EXPECT_EQ(outL[0], 0.5);
}

TEST(QuorvelProcessTest, CounterCyclesThrough361FramesAndIgnoresEmptyBlocks) {
    OwnedQuorvel q;
    float in = 0.0F, out = 0.0F;
    float* ins[2] = {&in, &in};
    float* outs[2] = {&out, &out};
    q.effect->processFloatBlock(ins, outs, 0);
    q.effect->processFloatBlock(ins, outs, -5);
    EXPECT_EQ(q.effect->frameCounterValue(), 0);
    EXPECT_EQ(out, 0.0F);
    std::vector<float> buffer(360, 0.0F);
    float* bufs[2] = {buffer.data(), buffer.data()};
    q.effect->processFloatBlock(bufs, bufs, 360);
    EXPECT_EQ(q.effect->frameCounterValue(), 360);
    q.effect->processFloatBlock(ins, outs, 1);
    EXPECT_EQ(q.effect->frameCounterValue(), 0);

    // Through the record, an empty block may come with null channel arrays: nothing is read.
    EffectRecord* record = q.effect->record();
    q.effect->processFloatBlock(bufs, bufs, 7);
    for (const std::int32_t frames : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
        record->processFloatEntry(record, nullptr, nullptr, frames);
        record->processDoubleEntry(record, nullptr, nullptr, frames);
    }
    EXPECT_EQ(q.effect->frameCounterValue(), 7);
}

// Crossed buffers (each output is the other side's input) give what separate buffers give:
// both inputs of a frame are read before either output is written.
TEST(QuorvelProcessTest, CrossedBuffersSoundLikeSeparateOnes) {
    const float params[7] = {0.3F, 1.0F, 0.8F, 0.1F, 1.0F, 1.2F, 0.4F};
    OwnedQuorvel separate, crossed;
    for (int i = 0; i < 7; ++i) {
        separate.effect->writeParam(i, params[i]);
        crossed.effect->writeParam(i, params[i]);
    }
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> unit(-1.0F, 1.0F);
    constexpr int frames = 400;
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    for (int k = 0; k < frames; ++k) {
        inL[k] = unit(rng);
        inR[k] = unit(rng);
    }
    std::vector<float> a = inL, b = inR;  // a becomes the right output, b the left
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    separate.effect->processFloatBlock(ins, outs, frames);
    float* crossedIns[2] = {a.data(), b.data()};
    float* crossedOuts[2] = {b.data(), a.data()};
    crossed.effect->processFloatBlock(crossedIns, crossedOuts, frames);
    for (int k = 0; k < frames; ++k) {
        ASSERT_EQ(bitsOf(b[k]), bitsOf(outL[k])) << "32-bit left, frame " << k;
        ASSERT_EQ(bitsOf(a[k]), bitsOf(outR[k])) << "32-bit right, frame " << k;
    }

    std::vector<double> dInL(frames), dInR(frames), dOutL(frames), dOutR(frames);
    for (int k = 0; k < frames; ++k) {
        dInL[k] = unit(rng);
        dInR[k] = unit(rng);
    }
    std::vector<double> c = dInL, d = dInR;
    double* dIns[2] = {dInL.data(), dInR.data()};
    double* dOuts[2] = {dOutL.data(), dOutR.data()};
    separate.effect->processDoubleBlock(dIns, dOuts, frames);
    double* dCrossedIns[2] = {c.data(), d.data()};
    double* dCrossedOuts[2] = {d.data(), c.data()};
    crossed.effect->processDoubleBlock(dCrossedIns, dCrossedOuts, frames);
    for (int k = 0; k < frames; ++k) {
        ASSERT_EQ(bitsOf(d[k]), bitsOf(dOutL[k])) << "64-bit left, frame " << k;
        ASSERT_EQ(bitsOf(c[k]), bitsOf(dOutR[k])) << "64-bit right, frame " << k;
    }
}

// Random parameters changed between blocks, random block lengths across the 361-frame
// wrap, 32-bit and 64-bit blocks interleaved, in place and out of place.
TEST(QuorvelProcessTest, MatchesThePlainFormulaBitForBit) {
    OwnedQuorvel q;
    std::mt19937 rng(20261208);
    std::uniform_real_distribution<float> unit(0.0F, 1.0F);
    std::uniform_int_distribution<int> length(0, 700);
    const float special[] = {0.5F, 0.0F, 1.0F, 1.5F, -0.25F, 0.5000001F};

    float p[7] = {0.5F, 0.0F, 1.0F, 0.0F, 0.0F, 1.0F, 0.0F};
    int n = 0;
    for (int block = 0; block < 300; ++block) {
        for (int i = 0; i < 7; ++i) {
            if (rng() % 3 == 0) {
                p[i] = rng() % 4 == 0 ? special[rng() % 6] : unit(rng);
                q.effect->writeParam(i, p[i]);
            }
        }
        const int frames = length(rng);
        const bool inPlace = rng() % 2 == 0;
        if (rng() % 2 == 0) {
            std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
            for (int k = 0; k < frames; ++k) {
                inL[k] = unit(rng) * 2.0F - 1.0F;
                inR[k] = unit(rng) * 2.0F - 1.0F;
            }
            const std::vector<float> srcL = inL, srcR = inR;
            float* ins[2] = {inL.data(), inR.data()};
            float* outs[2] = {inPlace ? inL.data() : outL.data(), inPlace ? inR.data() : outR.data()};
            q.effect->processFloatBlock(ins, outs, frames);
            for (int k = 0; k < frames; ++k, n = n == 360 ? 0 : n + 1) {
                ASSERT_EQ(bitsOf(outs[0][k]), bitsOf(static_cast<float>(leftFrame(p, n, srcL[k]))))
                    << "32-bit left, block " << block << " frame " << k << " n " << n;
                ASSERT_EQ(bitsOf(outs[1][k]), bitsOf(static_cast<float>(rightFrame(p, n, srcR[k]))))
                    << "32-bit right, block " << block << " frame " << k << " n " << n;
            }
        } else {
            std::vector<double> inL(frames), inR(frames), outL(frames), outR(frames);
            for (int k = 0; k < frames; ++k) {
                inL[k] = unit(rng) * 2.0 - 1.0 + unit(rng) * 1e-9;
                inR[k] = unit(rng) * 2.0 - 1.0;
            }
            const std::vector<double> srcL = inL, srcR = inR;
            double* ins[2] = {inL.data(), inR.data()};
            double* outs[2] = {inPlace ? inL.data() : outL.data(), inPlace ? inR.data() : outR.data()};
            q.effect->processDoubleBlock(ins, outs, frames);
            for (int k = 0; k < frames; ++k, n = n == 360 ? 0 : n + 1) {
                ASSERT_EQ(bitsOf(outs[0][k]), bitsOf(leftFrame(p, n, srcL[k])))
                    << "64-bit left, block " << block << " frame " << k << " n " << n;
                ASSERT_EQ(bitsOf(outs[1][k]), bitsOf(rightFrame(p, n, srcR[k])))
                    << "64-bit right, block " << block << " frame " << k << " n " << n;
            }
        }
        ASSERT_EQ(q.effect->frameCounterValue(), n);
    }
}

}  // namespace
