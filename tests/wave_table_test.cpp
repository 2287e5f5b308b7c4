// The per-side wave tables: every (period, position) pair answers the plain formula's bits,
// alone and inside the effect, whatever periods came before.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "effect/quorvel.h"
#include "effect/wave_table.h"
#include "plain_formula.h"

namespace {

// The tables answer each (period, position) pair with the plain formula's bits, whichever
// periods were asked for before at that position: a period that returns after others, two
// neighbouring floats, both zeros, a never-filled position asked for with period 0 (whose
// bits are all zero), and values whose wave is not a number.
TEST(WaveTableTest, AnswersThePlainFormulaForEveryPeriodSequence) {
    WaveTable<WaveShape::sine> sine;
    WaveTable<WaveShape::cosine> cosine;
    EXPECT_EQ(bitsOf(sine.at(0.0F, 10)), bitsOf(std::sin(10.0)));
    EXPECT_EQ(bitsOf(cosine.at(0.0F, 360)), bitsOf(std::cos(360.0)));
    EXPECT_EQ(bitsOf(sine.at(-0.0F, 10)), bitsOf(std::sin(10.0)));

    const float pool[] = {0.0F,
                          -0.0F,
                          0.3F,
                          std::nextafter(0.3F, 1.0F),
                          1.0F,
                          0.7F,
                          1e30F,
                          std::numeric_limits<float>::denorm_min(),
                          std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 rng(361);
    for (int i = 0; i < 20000; ++i) {
        const float period = pool[rng() % std::size(pool)];
        const int n = static_cast<int>(rng() % 361);
        const double argument = (1.0 - period) * n;
        const double expectedSine = std::sin(argument);
        const double expectedCosine = std::cos(argument);
        const double gotSine = sine.at(period, n);
        const double gotCosine = cosine.at(period, n);
        if (std::isnan(expectedSine)) {
            ASSERT_TRUE(std::isnan(gotSine) && std::isnan(gotCosine)) << "period " << period << " n " << n;
        } else {
            ASSERT_EQ(bitsOf(gotSine), bitsOf(expectedSine)) << "period " << period << " n " << n;
            ASSERT_EQ(bitsOf(gotCosine), bitsOf(expectedCosine)) << "period " << period << " n " << n;
        }
    }
}

// Periods drawn from a small set, so that they repeat (the stored values are used again)
// and change (positions filled for one period are asked for with another), with both waves
// on most of the time, long blocks that pass the 361-frame wrap several times, both sample
// widths. Two effects with their own periods are processed in turns.
TEST(WaveTableTest, RepeatedAndChangingPeriodsMatchThePlainFormulaBitForBit) {
    OwnedQuorvel first, second;
    Quorvel* effects[2] = {first.effect, second.effect};
    float p[2][7] = {{0.5F, 1.0F, 1.0F, 0.0F, 1.0F, 1.0F, 0.0F}, {0.5F, 1.0F, 1.0F, 0.25F, 1.0F, 1.0F, 0.75F}};
    int n[2] = {0, 0};
    for (int e = 0; e < 2; ++e) {
        for (int i = 0; i < 7; ++i) {
            effects[e]->writeParam(i, p[e][i]);
        }
    }
    const float periods[] = {0.0F, 0.3F, std::nextafter(0.3F, 1.0F), 0.9F, 1.0F, -0.5F};
    const int lengths[] = {1, 64, 360, 361, 362, 512, 1500};
    std::mt19937 rng(4096);
    std::uniform_real_distribution<float> unit(0.0F, 1.0F);

    for (int block = 0; block < 400; ++block) {
        const int e = static_cast<int>(rng() % 2);
        Quorvel* q = effects[e];
        float* params = p[e];
        const auto change = [&](int index, float value) {
            params[index] = value;
            q->writeParam(index, value);
        };
        if (rng() % 2 == 0) change(3, periods[rng() % std::size(periods)]);
        if (rng() % 2 == 0) change(6, periods[rng() % std::size(periods)]);
        if (rng() % 8 == 0) change(1, rng() % 4 == 0 ? 0.0F : 1.0F);
        if (rng() % 8 == 0) change(4, rng() % 4 == 0 ? 0.0F : 1.0F);
        if (rng() % 4 == 0) change(0, unit(rng));
        if (rng() % 4 == 0) change(2, unit(rng) * 2.0F);
        if (rng() % 4 == 0) change(5, unit(rng) * 2.0F);

        const int frames = lengths[rng() % std::size(lengths)];
        if (rng() % 2 == 0) {
            std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
            for (int k = 0; k < frames; ++k) {
                inL[k] = unit(rng) * 2.0F - 1.0F;
                inR[k] = unit(rng) * 2.0F - 1.0F;
            }
            float* ins[2] = {inL.data(), inR.data()};
            float* outs[2] = {outL.data(), outR.data()};
            q->processFloatBlock(ins, outs, frames);
            for (int k = 0; k < frames; ++k, n[e] = n[e] == 360 ? 0 : n[e] + 1) {
                ASSERT_EQ(bitsOf(outL[k]), bitsOf(static_cast<float>(leftFrame(params, n[e], inL[k]))))
                    << "32-bit left, block " << block << " frame " << k << " n " << n[e];
                ASSERT_EQ(bitsOf(outR[k]), bitsOf(static_cast<float>(rightFrame(params, n[e], inR[k]))))
                    << "32-bit right, block " << block << " frame " << k << " n " << n[e];
            }
        } else {
            std::vector<double> inL(frames), inR(frames), outL(frames), outR(frames);
            for (int k = 0; k < frames; ++k) {
                inL[k] = unit(rng) * 2.0 - 1.0 + unit(rng) * 1e-9;
                inR[k] = unit(rng) * 2.0 - 1.0;
            }
            double* ins[2] = {inL.data(), inR.data()};
            double* outs[2] = {outL.data(), outR.data()};
            q->processDoubleBlock(ins, outs, frames);
            for (int k = 0; k < frames; ++k, n[e] = n[e] == 360 ? 0 : n[e] + 1) {
                ASSERT_EQ(bitsOf(outL[k]), bitsOf(leftFrame(params, n[e], inL[k])))
                    << "64-bit left, block " << block << " frame " << k << " n " << n[e];
                ASSERT_EQ(bitsOf(outR[k]), bitsOf(rightFrame(params, n[e], inR[k])))
                    << "64-bit right, block " << block << " frame " << k << " n " << n[e];
            }
        }
        ASSERT_EQ(q->frameCounterValue(), n[e]);
    }
}

}  // namespace
