// Quorvel driven from several threads at once, as hosts do: one thread processes audio
// while another writes parameters and asks for their texts, and independent effects run
// side by side. Built into every preset; under ThreadSanitizer it proves the effect free of
// data races.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <thread>
#include <vector>

#include "effect/quorvel.h"

namespace {

constexpr std::int32_t framesPerBlock = 64;
constexpr std::int32_t counterCycle = Quorvel::counterLimit + 1;  // the counter runs 0..360
constexpr std::size_t textBufferSize = 64;

// The texts a host asks for while the audio runs, each checked for a terminating zero
// within what the host is promised to need.
struct TextQuestion {
    std::int32_t request;
    std::size_t promised;  // bytes, the zero included
};
constexpr TextQuestion textQuestions[] = {
    {reqParamValueText, 9}, {reqParamTitle, 9}, {reqParamUnit, 7}, {reqProgramName, 25}, {reqEffectName, 33},
};

// Parameter values in 0..1 that the control thread cycles through: the switch boundary
// 0.5, its neighbours and the ends.
constexpr float controlValues[] = {0.0F, 0.25F, 0.5F, 0.5000001F, 0.75F, 1.0F, 0.1F, 0.9F};

bool terminatedWithin(const char* text, std::size_t limit) {
    return std::memchr(text, '\0', limit) != nullptr;
}

// Processes `blocks` blocks alternately in 32-bit and 64-bit samples and checks every output
// sample against its input: with parameter values in 0..1 no gain exceeds 1.
void processBlocks(EffectRecord* record, int blocks, std::atomic<int>& badSamples) {
    std::vector<float> inL(framesPerBlock), inR(framesPerBlock), outL(framesPerBlock), outR(framesPerBlock);
    std::vector<double> dinL(framesPerBlock), dinR(framesPerBlock), doutL(framesPerBlock), doutR(framesPerBlock);
    for (std::int32_t k = 0; k < framesPerBlock; ++k) {
        inL[k] = static_cast<float>(k % 7) - 3.0F;
        inR[k] = 1.0F - static_cast<float>(k % 5) * 0.5F;
        dinL[k] = inL[k];
        dinR[k] = inR[k];
    }
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    double* dins[2] = {dinL.data(), dinR.data()};
    double* douts[2] = {doutL.data(), doutR.data()};

    for (int block = 0; block < blocks; ++block) {
        int bad = 0;
        if (block % 2 == 0) {
            record->processFloatEntry(record, ins, outs, framesPerBlock);
            for (std::int32_t k = 0; k < framesPerBlock; ++k) {
                bad += !(std::fabs(outL[k]) <= std::fabs(inL[k])) + !(std::fabs(outR[k]) <= std::fabs(inR[k]));
            }
        } else {
            record->processDoubleEntry(record, dins, douts, framesPerBlock);
            for (std::int32_t k = 0; k < framesPerBlock; ++k) {
                bad += !(std::fabs(doutL[k]) <= std::fabs(dinL[k])) + !(std::fabs(doutR[k]) <= std::fabs(dinR[k]));
            }
        }
        badSamples += bad;
    }
}

// One round of what a host's main thread does while the audio runs: write every parameter,
// read it back, and ask for every text. Answers the number of failed checks.
int controlRound(EffectRecord* record, int round) {
    int failures = 0;
    char text[textBufferSize];
    for (std::int32_t index = 0; index < Quorvel::paramCount; ++index) {
        const float value = controlValues[(round + index) % std::size(controlValues)];
        record->setParamEntry(record, index, value);
        failures += record->getParamEntry(record, index) != value;
        for (const TextQuestion& question : textQuestions) {
            std::memset(text, 'x', sizeof text);
            record->dispatchEntry(record, question.request, index, 0, text, 0.0F);
            failures += !terminatedWithin(text, question.promised);
        }
    }
    return failures;
}

std::int32_t counterOf(EffectRecord* record) {
    return static_cast<Quorvel*>(record->owner)->frameCounterValue();
}

TEST(ThreadTest, ProcessingWhileAnotherThreadWritesParametersAndAsksForTexts) {
    constexpr int blocks = 3000;
    AudioEffect* effect = createEffect(nullptr);
    ASSERT_NE(effect, nullptr);
    EffectRecord* record = effect->record();

    std::atomic<int> badSamples{0};
    std::atomic<bool> audioDone{false};
    std::thread audio([&] {
        processBlocks(record, blocks, badSamples);
        audioDone = true;
    });

    int failures = 0;
    int rounds = 0;
    while (!audioDone || rounds < 100) {
        failures += controlRound(record, rounds++);
    }
    audio.join();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(badSamples.load(), 0) << "an output sample exceeded its input";
    // Parameter traffic never disturbs the frame counter: it advanced once per frame.
    EXPECT_EQ(counterOf(record), (blocks * framesPerBlock) % counterCycle);
    EXPECT_EQ(record->dispatchEntry(record, reqClose, 0, 0, nullptr, 0.0F), 1);
}

// Balance changes from the control thread while 64-bit blocks run: each block reads balance
// once, so every frame of a block has the same output-to-input ratio on each side, whenever
// the change lands. Blocks run until enough of them overlapped several writes: where other
// work keeps the two threads from running at the same time (a busy machine), that may take
// many blocks, so the bound is a minute rather than a count of blocks.
TEST(ThreadTest, DoubleBlocksKeepOneBalanceWhileAnotherThreadChangesIt) {
    constexpr std::int32_t frames = 4096;
    constexpr int leastOverlapped = 100;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    AudioEffect* effect = createEffect(nullptr);
    ASSERT_NE(effect, nullptr);
    EffectRecord* record = effect->record();

    std::atomic<int> writes{0};
    std::atomic<bool> audioDone{false};
    int mixedBlocks = 0;
    int overlapped = 0;
    int blocks = 0;
    std::thread audio([&] {
        std::vector<double> inL(frames, 1.0), inR(frames, 1.0), outL(frames), outR(frames);
        double* ins[2] = {inL.data(), inR.data()};
        double* outs[2] = {outL.data(), outR.data()};
        while (overlapped < leastOverlapped && std::chrono::steady_clock::now() < giveUp) {
            const int writesBefore = writes.load();
            record->processDoubleEntry(record, ins, outs, frames);
            // Consecutive writes differ, so several of them during the block change balance
            // while it runs.
            overlapped += writes.load() - writesBefore >= 4;
            ++blocks;
            for (std::int32_t k = 1; k < frames; ++k) {
                if (outL[k] != outL[0] || outR[k] != outR[0]) {
                    ++mixedBlocks;
                    break;
                }
            }
        }
        audioDone = true;
    });
    const float balances[] = {0.2F, 0.7F, 0.45F, 1.0F};
    for (int i = 0; !audioDone; ++i) {
        record->setParamEntry(record, 0, balances[i % std::size(balances)]);
        ++writes;
    }
    audio.join();

    // Without blocks that overlapped writes the test would have shown nothing: fewer than
    // asked for within the minute is a failure, not a pass.
    EXPECT_GE(overlapped, leastOverlapped)
        << "only " << overlapped << " of " << blocks << " blocks overlapped four or more balance writes";
    EXPECT_EQ(mixedBlocks, 0) << "of " << blocks << " blocks, " << overlapped << " overlapping balance writes";
    EXPECT_EQ(record->dispatchEntry(record, reqClose, 0, 0, nullptr, 0.0F), 1);
}

TEST(ThreadTest, IndependentEffectsOnSeparateThreadsShareNothing) {
    constexpr int threads = 4;
    constexpr int lifetimes = 40;
    constexpr int blocksPerLifetime = 12;
    std::atomic<int> failures{0};
    std::atomic<int> badSamples{0};

    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int life = 0; life < lifetimes; ++life) {
                AudioEffect* effect = createEffect(nullptr);
                if (effect == nullptr) {
                    ++failures;
                    return;
                }
                EffectRecord* record = effect->record();
                record->dispatchEntry(record, reqOpen, 0, 0, nullptr, 0.0F);
                failures += controlRound(record, t + life);
                processBlocks(record, blocksPerLifetime, badSamples);
                failures += counterOf(record) != (blocksPerLifetime * framesPerBlock) % counterCycle;
                failures += record->dispatchEntry(record, reqClose, 0, 0, nullptr, 0.0F) != 1;
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(badSamples.load(), 0);
}

}  // namespace
