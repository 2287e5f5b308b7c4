// Quorvel's sound checked bit for bit against the plain per-frame formula.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "effect/quorvel.h"
#include "effect/wave_table.h"

namespace {

// The plain formula for one frame. p holds the seven parameters, n the frame counter.
double leftFrame(const float* p, int n, double in) {
    const double balance = p[0];
    if (p[1] > 0.5F) {
        return ((std::sin((1.0 - p[3]) * n) * p[2]) * in) * (1.0 - balance);
    }
    return (1.0 - balance) * in;
}

double rightFrame(const float* p, int n, double in) {
    const double balance = p[0];
    if (p[4] > 0.5F) {
        return ((std::cos((1.0 - p[6]) * n) * p[5]) * in) * balance;
    }
    return balance * in;
}

std::uint64_t bitsOf(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

std::uint32_t bitsOf(float x) {
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

struct Owned {
    Quorvel* effect = new Quorvel(nullptr);
    ~Owned() { delete effect; }
};

TEST(QuorvelProcessTest, DefaultsHalveBothSidesAndBalanceMovesTheSignal) {
    Owned q;
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
    Owned q;
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
    Owned q;
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
    Owned separate, crossed;
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
    Owned q;
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

// The tables answer each (period, position) pair with the plain formula's bits, whichever
// periods were asked for before at that position: a period that returns after others, two
// neighbouring floats, both zeros, a never-filled position asked for with period 0 (whose
// bits are all zero), and values whose wave is not a number.
TEST(QuorvelWaveTableTest, AnswersThePlainFormulaForEveryPeriodSequence) {
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
TEST(QuorvelWaveTableTest, RepeatedAndChangingPeriodsMatchThePlainFormulaBitForBit) {
    Owned first, second;
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
