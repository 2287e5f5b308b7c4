// The literal per-frame processing, kept unchanged as the benchmark's reference.
#include "bench/literal_effect.h"

#include <atomic>
#include <cmath>

namespace {

inline double current(float& field) {
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
    const double blockBalance = balancePerBlock ? current(balance) : 0.0;

    for (std::int32_t k = 0; k < frameCount; ++k) {
        const double n = frameCounter;
        const double bal = balancePerBlock ? blockBalance : current(balance);
        const double left = inL[k];
        const double right = inR[k];

        if (current(leftDur) > 0.5) {
            const double a = (1.0 - current(leftPeriod)) * n;
            outL[k] = static_cast<Sample>(((std::sin(a) * current(leftAmp)) * left) * (1.0 - bal));
        } else {
            outL[k] = static_cast<Sample>((1.0 - bal) * left);
        }

        if (current(rightDur) > 0.5) {
            const double b = (1.0 - current(rightPeriod)) * n;
            outR[k] = static_cast<Sample>(((std::cos(b) * current(rightAmp)) * right) * bal);
        } else {
            outR[k] = static_cast<Sample>(bal * right);
        }

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
