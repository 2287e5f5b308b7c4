// The built-in demo material rendered when no input file is given: four seconds of stereo
// at 44.1 kHz, a plucked arpeggio on the left and a rising buzz with a little noise on the
// right, so that the balance and both waves are plainly audible and visible. The same
// frames come out run after run.
#pragma once

#include <cstdint>

#include "host/audio/audio_stream.h"

namespace quorvel::host {

class DemoSignal : public AudioSource {
public:
    static constexpr int rate = 44100;
    static constexpr std::int64_t length = std::int64_t{4} * rate;

    int channels() const override { return 2; }
    int sampleRate() const override { return rate; }
    std::int64_t frames() const override { return length; }
    std::int64_t read(float* interleaved, std::int64_t count) override;
    std::int64_t read(double* interleaved, std::int64_t count) override;

    // The left and right sample of frame `frame`.
    static void frame(std::int64_t frame, double& left, double& right);

private:
    template <typename Sample>
    std::int64_t readFrames(Sample* interleaved, std::int64_t count);

    std::int64_t position_ = 0;
};

}  // namespace quorvel::host
