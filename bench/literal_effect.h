// LiteralEffect: the benchmark's reference. It has Quorvel's parameters, counter and sound,
// processed the literal way: one sine and one cosine evaluated per frame for each side whose
// wave is on. Its output is the same as Quorvel's; only the cost differs.
#pragma once

#include <cstdint>

#include "framework/audio_effect_x.h"

class LiteralEffect : public AudioEffectX {
public:
    // Two inputs, two outputs, 32-bit and 64-bit processing, Quorvel's parameter defaults.
    explicit LiteralEffect(HostCallback host);

    // Audio thread. The per-frame formula with a sine and a cosine evaluated every frame.
    void processFloatBlock(float** inputs, float** outputs, std::int32_t frameCount) override;
    void processDoubleBlock(double** inputs, double** outputs, std::int32_t frameCount) override;

    // Any thread. Parameters 0..6 as Quorvel numbers them; other indices are ignored / read -1.
    void writeParam(std::int32_t index, float value) override;
    float readParam(std::int32_t index) override;

private:
    template <typename Sample, bool balancePerBlock>
    void processBlock(Sample** inputs, Sample** outputs, std::int32_t frameCount);

    static constexpr std::int32_t counterLimit = 360;

    float balance = 0.5F;
    float leftDur = 0.0F;
    float leftAmp = 1.0F;
    float leftPeriod = 0.0F;
    float rightDur = 0.0F;
    float rightAmp = 1.0F;
    float rightPeriod = 0.0F;
    std::int32_t frameCounter = 0;
};
