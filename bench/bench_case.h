// What one benchmark measures: which processing, which sample width, which parameter scene
// and how many frames per block. Shared by the benchmark registration and the ratio table.
#pragma once

#include <cstdint>
#include <string>

// The processing being timed. `copy` is the floor: a plain copy of the same samples.
enum class Processing { copy, literal, quorvel };

// The parameter scene. `periodPerBlock` has both waves on and writes new leftPeriod and
// rightPeriod values before every block.
enum class Scene { wavesOff, leftWave, bothWaves, periodPerBlock };

enum class Precision { single, twice };

struct BenchCase {
    Processing processing;
    Precision precision;
    Scene scene;  // ignored for `copy`
    std::int32_t blockFrames;

    // The benchmark's name, e.g. "quorvel/float/both/512" or "copy/double/64".
    std::string name() const;
};

inline constexpr std::int32_t blockSizes[] = {64, 512, 4096};
inline constexpr Scene scenes[] = {Scene::wavesOff, Scene::leftWave, Scene::bothWaves, Scene::periodPerBlock};
inline constexpr Precision precisions[] = {Precision::single, Precision::twice};
