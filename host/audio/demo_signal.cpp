#include "host/audio/demo_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorvel::host {

namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;

// A note every half second, cycling through an A minor arpeggio, each decaying like a
// plucked string with two overtones.
double arpeggio(double t) {
    constexpr double notes[] = {220.0, 261.63, 329.63, 440.0, 329.63, 261.63, 220.0, 164.81};
    constexpr double noteLength = 0.5;
    const auto step = static_cast<int>(t / noteLength);
    const double since = t - step * noteLength;
    const double f = notes[step % 8];
    const double tone = std::sin(twoPi * f * since) + 0.4 * std::sin(twoPi * 2.0 * f * since) +
                        0.15 * std::sin(twoPi * 3.0 * f * since);
    return 0.35 * tone * std::exp(-4.0 * since) * std::min(1.0, since * 400.0);
}

// A buzz rising from 110 Hz to 440 Hz over the four seconds, swelling and fading, with a
// faint hiss from a fixed pseudo-random sequence.
double buzz(double t, std::int64_t frame) {
    const double phase = twoPi * (110.0 * t + 0.5 * (330.0 / 4.0) * t * t);
    const double tone = std::sin(phase) + 0.5 * std::sin(2.0 * phase) + 0.33 * std::sin(3.0 * phase);
    const double envelope = std::sin(std::numbers::pi * t / 4.0);
    auto seed = static_cast<std::uint32_t>(frame) * 2654435761U;
    seed ^= seed >> 15;
    seed *= 2246822519U;
    seed ^= seed >> 13;
    const double hiss = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.04;
    return 0.3 * tone * envelope + hiss;
}

}  // namespace

void DemoSignal::frame(std::int64_t frame, double& left, double& right) {
    const double t = static_cast<double>(frame) / rate;
    left = arpeggio(t);
    right = buzz(t, frame);
}

template <typename Sample>
std::int64_t DemoSignal::readFrames(Sample* interleaved, std::int64_t count) {
    const std::int64_t n = std::max<std::int64_t>(0, std::min(count, length - position_));
    for (std::int64_t k = 0; k < n; ++k) {
        double left = 0.0;
        double right = 0.0;
        frame(position_ + k, left, right);
        interleaved[2 * k] = static_cast<Sample>(left);
        interleaved[2 * k + 1] = static_cast<Sample>(right);
    }
    position_ += n;
    return n;
}

std::int64_t DemoSignal::read(float* interleaved, std::int64_t count) {
    return readFrames(interleaved, count);
}

std::int64_t DemoSignal::read(double* interleaved, std::int64_t count) {
    return readFrames(interleaved, count);
}

}  // namespace quorvel::host
