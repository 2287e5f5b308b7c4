// Quorvel's sound: balance between the sides and a sine (left) or cosine (right) wave on
// each side, both driven by the shared frame counter.
//
// Each frame computes exactly the plain formula. The wave values come from the per-side
// tables, which hand back the very doubles that sin and cos give for the period in use, so
// the output is bit for bit the same as evaluating the wave every frame.
#include <atomic>

#include "effect/quorvel.h"

namespace {

// Parameters are plain floats that another thread may write while a block runs. Reading
// them through a relaxed atomic view keeps the compiler from hoisting the reads out of the
// frame loop, so a new value is picked up from the next frame that reads it.
inline float current(float& field) {
    return std::atomic_ref<float>(field).load(std::memory_order_relaxed);
}

}  // namespace

template <typename Sample, bool balancePerBlock>
void Quorvel::processBlock(Sample** inputs, Sample** outputs, std::int32_t frameCount) {
    // An empty block touches neither channel array: a host may pass null ones with it.
    if (frameCount <= 0) {
        return;
    }
    const Sample* inL = inputs[0];
    const Sample* inR = inputs[1];
    Sample* outL = outputs[0];
    Sample* outR = outputs[1];
    const double blockBalance = balancePerBlock ? current(balance) : 0.0;
    // The counter lives in a register for the block and is stored back once at its end.
    std::int32_t n = frameCounter;

    for (std::int32_t k = 0; k < frameCount; ++k) {
        const double bal = balancePerBlock ? blockBalance : current(balance);
        // Both inputs are read before either output is written, so in-place and crossed
        // buffers (outputs[0] == inputs[1]) give the result of separate buffers.
        const double left = inL[k];
        const double right = inR[k];

        if (current(leftDur) > 0.5F) {
            const double wave = leftWave.at(current(leftPeriod), n);
            outL[k] = static_cast<Sample>(((wave * current(leftAmp)) * left) * (1.0 - bal));
        } else {
            outL[k] = static_cast<Sample>((1.0 - bal) * left);
        }

        if (current(rightDur) > 0.5F) {
            const double wave = rightWave.at(current(rightPeriod), n);
            outR[k] = static_cast<Sample>(((wave * current(rightAmp)) * right) * bal);
        } else {
            outR[k] = static_cast<Sample>(bal * right);
        }

        n = n < counterLimit ? n + 1 : 0;
    }
    frameCounter = n;
}

void Quorvel::processFloatBlock(float** inputs, float** outputs, std::int32_t frameCount) {
    processBlock<float, false>(inputs, outputs, frameCount);
}

void Quorvel::processDoubleBlock(double** inputs, double** outputs, std::int32_t frameCount) {
    processBlock<double, true>(inputs, outputs, frameCount);
}
