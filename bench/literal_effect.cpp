// The literal per-frame processing, the benchmark's reference: the plain formula the tests
// check Quorvel against (tests/plain_formula.h), evaluated frame by frame.
#include "bench/literal_effect.h"

#include <atomic>

#include "tests/plain_formula.h"

namespace {

inline float current(float& field) {
    return std::atomic_ref<float>(field).load(std::memory_order_relaxed);
}

}  // namespace

LiteralEffect::LiteralEffect(HostCallback host) : AudioEffectX(host, 1, 7) {
    setInputCount(2);
    setOutputCount(2);
    declareFloatReplacing(true);
    declareDoubleReplacing(true);
}

template <typename Sample, bool balancePerBlock>
void LiteralEffect::processBlock(Sample** inputs, Sample** outputs, std::int32_t frameCount) {
    const Sample* inL = inputs[0];
    const Sample* inR = inputs[1];
    Sample* outL = outputs[0];
    Sample* outR = outputs[1];
    const float blockBalance = balancePerBlock ? current(balance) : 0.0F;

    for (std::int32_t k = 0; k < frameCount; ++k) {
        // The seven parameters as this frame sees them, in Quorvel's numbering.
        const float p[7] = {balancePerBlock ? blockBalance : current(balance),
                            current(leftDur),
                            current(leftAmp),
                            current(leftPeriod),
                            current(rightDur),
                            current(rightAmp),
                            current(rightPeriod)};
        outL[k] = static_cast<Sample>(leftFrame(p, frameCounter, inL[k]));
        outR[k] = static_cast<Sample>(rightFrame(p, frameCounter, inR[k]));

        if (++frameCounter > counterLimit) {
            frameCounter = 0;
        }
    }
}

void LiteralEffect::processFloatBlock(float** inputs, float** outputs, std::int32_t frameCount) {
    processBlock<float, false>(inputs, outputs, frameCount);
}

void LiteralEffect::processDoubleBlock(double** inputs, double** outputs, std::int32_t frameCount) {
    processBlock<double, true>(inputs, outputs, frameCount);
}

void LiteralEffect::writeParam(std::int32_t index, float value) {
    float* const fields[] = {&balance, &leftDur, &leftAmp, &leftPeriod, &rightDur, &rightAmp, &rightPeriod};
    if (index >= 0 && index < 7) {
        std::atomic_ref<float>(*fields[index]).store(value, std::memory_order_relaxed);
    }
}

float LiteralEffect::readParam(std::int32_t index) {
    float* const fields[] = {&balance, &leftDur, &leftAmp, &leftPeriod, &rightDur, &rightAmp, &rightPeriod};
    if (index >= 0 && index < 7) {
        return std::atomic_ref<float>(*fields[index]).load(std::memory_order_relaxed);
    }
    return -1.0F;
}
