// Quorvel: a stereo effect that shares the signal between the sides and can multiply each
// side by a wave, a sine on the left and a cosine on the right, driven by one frame counter
// that runs 0..360 and starts again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effect/wave_table.h"
#include "framework/audio_effect_x.h"

class Quorvel : public AudioEffectX {
public:
    // The parameters by index, as the host addresses them.
    enum class Param : std::int32_t {
        balance = 0,      // left gain 1 - balance, right gain balance
        leftDur = 1,      // left wave on above 0.5
        leftAmp = 2,      // factor on the left wave
        leftPeriod = 3,   // the left wave advances 1 - leftPeriod radians per frame
        rightDur = 4,     // right wave on above 0.5
        rightAmp = 5,     // factor on the right wave
        rightPeriod = 6,  // the right wave advances 1 - rightPeriod radians per frame
    };

    static constexpr std::int32_t programCount = 1;
    static constexpr std::int32_t paramCount = 7;
    static constexpr std::int32_t counterLimit = 360;  // the counter's last value

    // Two inputs and two outputs, id 'Tvnr', 32-bit and 64-bit processing, the parameter
    // defaults 0.5, 0, 1, 0, 0, 1, 0 and the program "Default".
    explicit Quorvel(HostCallback host);
    ~Quorvel() override;

    // Audio thread. Input 0 feeds only output 0, input 1 only output 1. Each frame reads both
    // input samples before it writes either output sample, so processing in place and crossed
    // buffers (outputs[0] == inputs[1], outputs[1] == inputs[0]) give the same sound as
    // separate buffers. A frame count of zero or less returns at once without reading the
    // channel arrays, which may then be null. Every product is formed in double precision;
    // only the store rounds to 32 bits.
    void processFloatBlock(float** inputs, float** outputs, std::int32_t frameCount) override;
    // Audio thread. As processFloatBlock with 64-bit samples; balance is read once per block.
    void processDoubleBlock(double** inputs, double** outputs, std::int32_t frameCount) override;

    // Any thread. The parameters of Param, stored unclamped. An index outside 0..6 changes
    // nothing / reads -1.0.
    void writeParam(std::int32_t index, float value) override;
    float readParam(std::int32_t index) override;

    // Main thread. The one program's name, at most programNameLength (24) characters.
    void renameProgram(char* name) override;
    void fillProgramName(char* text) override;
    // Main thread. A parameter's unit (at most 7 bytes), value text (at most 9 bytes) and
    // title (exactly paramTextLength + 1 = 9 bytes). Nothing is written for an index outside
    // 0..6 or a null buffer.
    void fillParamUnit(std::int32_t index, char* text) override;
    void fillParamValueText(std::int32_t index, char* text) override;
    void fillParamTitle(std::int32_t index, char* text) override;

    // Main thread. The effect's identity: "Tavenor" (effectNameLength + 1 = 33 bytes), vendor
    // and product texts (vendorTextLength + 1 = 65 bytes each) and vendor version 1000. A null
    // buffer answers false.
    bool fillEffectName(char* text) override;
    bool fillVendorText(char* text) override;
    bool fillProductText(char* text) override;
    std::int32_t vendorVersion() override;

    // The frame counter, for tests and diagnostics: 0..360 between frames.
    std::int32_t frameCounterValue() const { return frameCounter; }

private:
    template <typename Sample, bool balancePerBlock>
    void processBlock(Sample** inputs, Sample** outputs, std::int32_t frameCount);

    // The field of a parameter index; null outside 0..6.
    float* paramField(std::int32_t index);

    // The parameters, named as in Param.
    float balance = 0.5F;
    float leftDur = 0.0F;
    float leftAmp = 1.0F;
    float leftPeriod = 0.0F;
    float rightDur = 0.0F;
    float rightAmp = 1.0F;
    float rightPeriod = 0.0F;
    std::int32_t frameCounter = 0;
    char programName[programNameLength + 1] = {};

    // Each side's wave values for the period value in use, touched only by processing.
    WaveTable<WaveShape::sine> leftWave;
    WaveTable<WaveShape::cosine> rightWave;
    static_assert(WaveTable<WaveShape::sine>::positionCount == counterLimit + 1);
};

// The plain heap of every target aligns its blocks to at least this many bytes (msvcrt's
// malloc on 32-bit Windows to no more), and `new Quorvel` uses that heap.
inline constexpr std::size_t plainHeapAlignment = 8;
static_assert(alignof(Quorvel) <= plainHeapAlignment, "the plain heap could misalign the effect");

// The effect factory: one new Quorvel on the heap, or null when it cannot be allocated.
// No exception leaves it.
AudioEffect* createEffect(HostCallback host) noexcept;
