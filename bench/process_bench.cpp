// Frames per second of Quorvel's processing, driven through the effect record as a host
// drives it, beside two baselines in the same run: a plain copy of the same samples (the
// floor) and the literal per-frame formula (LiteralEffect). At the end a table gives every
// cost as a multiple of the copy.
//
//   quorvel_bench [--details] [Google Benchmark flags]
//
// --details also prints every run as Google Benchmark's console does.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bench/bench_case.h"
#include "bench/literal_effect.h"
#include "bench/ratio_table.h"
#include "effect/quorvel.h"

namespace {

// Parameter indices as the host numbers them.
constexpr std::int32_t paramLeftDur = 1;
constexpr std::int32_t paramLeftPeriod = 3;
constexpr std::int32_t paramRightDur = 4;
constexpr std::int32_t paramRightPeriod = 6;

// Two input and two output channels of one block, inputs filled with noise in -1..1.
template <typename Sample>
struct Channels {
    explicit Channels(std::int32_t frames) : inL(frames), inR(frames), outL(frames), outR(frames) {
        std::mt19937 rng(7);
        std::uniform_real_distribution<Sample> noise(-1.0, 1.0);
        for (std::int32_t k = 0; k < frames; ++k) {
            inL[k] = noise(rng);
            inR[k] = noise(rng);
        }
    }
    std::vector<Sample> inL, inR, outL, outR;
    Sample* inputs[2] = {inL.data(), inR.data()};
    Sample* outputs[2] = {outL.data(), outR.data()};
};

template <typename Sample>
void processThroughRecord(EffectRecord* record, Sample** inputs, Sample** outputs, std::int32_t frames) {
    if constexpr (std::is_same_v<Sample, float>) {
        record->processFloatEntry(record, inputs, outputs, frames);
    } else {
        record->processDoubleEntry(record, inputs, outputs, frames);
    }
}

// The floor: the same bytes copied from the inputs to the outputs.
template <typename Sample>
void copyBlocks(benchmark::State& state, std::int32_t frames) {
    Channels<Sample> channels(frames);
    for (auto _ : state) {
        std::memcpy(channels.outL.data(), channels.inL.data(), frames * sizeof(Sample));
        std::memcpy(channels.outR.data(), channels.inR.data(), frames * sizeof(Sample));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

// One effect's blocks through its record, with the scene's parameters written through the
// record's parameter entry as a host writes them.
template <typename Sample>
void effectBlocks(benchmark::State& state, Processing processing, Scene scene, std::int32_t frames) {
    AudioEffect* effect = processing == Processing::quorvel ? static_cast<AudioEffect*>(new Quorvel(nullptr))
                                                            : static_cast<AudioEffect*>(new LiteralEffect(nullptr));
    EffectRecord* record = effect->record();
    const auto write = [record](std::int32_t index, float value) { record->setParamEntry(record, index, value); };
    write(paramLeftPeriod, 0.3F);
    write(paramRightPeriod, 0.7F);
    if (scene != Scene::wavesOff) {
        write(paramLeftDur, 1.0F);
    }
    if (scene == Scene::bothWaves || scene == Scene::periodPerBlock) {
        write(paramRightDur, 1.0F);
    }

    Channels<Sample> channels(frames);
    std::uint32_t block = 0;
    for (auto _ : state) {
        if (scene == Scene::periodPerBlock) {
            // A value no block before it has used for a long while: every block starts on
            // periods other than the previous block's.
            ++block;
            write(paramLeftPeriod, static_cast<float>(block % 1000U) * 0.001F);
            write(paramRightPeriod, 1.0F - static_cast<float>(block % 997U) * 0.001F);
        }
        processThroughRecord(record, channels.inputs, channels.outputs, frames);
    }
    state.SetItemsProcessed(state.iterations() * frames);
    record->dispatchEntry(record, reqClose, 0, 0, nullptr, 0.0F);
}

template <typename Sample>
void runCase(benchmark::State& state, BenchCase c) {
    if (c.processing == Processing::copy) {
        copyBlocks<Sample>(state, c.blockFrames);
    } else {
        effectBlocks<Sample>(state, c.processing, c.scene, c.blockFrames);
    }
}

void registerCase(const BenchCase& c) {
    if (c.precision == Precision::single) {
        benchmark::RegisterBenchmark(c.name().c_str(), runCase<float>, c);
    } else {
        benchmark::RegisterBenchmark(c.name().c_str(), runCase<double>, c);
    }
}

std::vector<BenchCase> registerAll() {
    std::vector<BenchCase> cases;
    for (Precision precision : precisions) {
        for (std::int32_t frames : blockSizes) {
            cases.push_back({Processing::copy, precision, Scene::wavesOff, frames});
            for (Scene scene : scenes) {
                cases.push_back({Processing::literal, precision, scene, frames});
                cases.push_back({Processing::quorvel, precision, scene, frames});
            }
        }
    }
    for (const BenchCase& c : cases) {
        registerCase(c);
    }
    return cases;
}

}  // namespace

int main(int argc, char** argv) {
    // Our one flag is taken out before Google Benchmark reads the rest.
    bool details = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--details") {
            details = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;

    const std::vector<BenchCase> cases = registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioTableReporter reporter(cases, details);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
