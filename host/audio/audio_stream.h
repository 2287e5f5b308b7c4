// Where rendered audio comes from and goes to: interleaved frames in 32-bit or 64-bit
// samples, so that each precision is read and written without a detour through the other.
#pragma once

#include <cstdint>

namespace quorvel::host {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual int channels() const = 0;
    virtual int sampleRate() const = 0;
    // Total frames, 0 when unknown.
    virtual std::int64_t frames() const = 0;
    // The frames the source's header promises, which a cut-off file does not hold in full.
    virtual std::int64_t promisedFrames() const { return frames(); }
    // Reads up to `count` interleaved frames; answers how many were read, 0 at the end.
    virtual std::int64_t read(float* interleaved, std::int64_t count) = 0;
    virtual std::int64_t read(double* interleaved, std::int64_t count) = 0;
};

class AudioSink {
public:
    virtual ~AudioSink() = default;
    // Writes `count` interleaved frames; throws HostError when they cannot be written.
    virtual void write(const float* interleaved, std::int64_t count) = 0;
    virtual void write(const double* interleaved, std::int64_t count) = 0;
};

}  // namespace quorvel::host
