// The channel buffers a process call takes: one buffer of samples per channel, and the array
// of channel pointers the record's process entry reads.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::host {

// Made and used on the thread that processes (allocates only when made).
template <typename Sample>
class ChannelBuffers {
public:
    // `channels` buffers of `frames` samples each, all zero; each pointer at its own buffer.
    ChannelBuffers(int channels, std::int32_t frames)
        : buffers_(static_cast<std::size_t>(channels), std::vector<Sample>(static_cast<std::size_t>(frames))),
          pointers_(static_cast<std::size_t>(channels)) {
        pointAt(0);
    }

    int channels() const { return static_cast<int>(buffers_.size()); }
    // Channel `c`'s own buffer, wherever its pointer points.
    Sample* buffer(int c) { return buffers_[static_cast<std::size_t>(c)].data(); }
    // The pointer array for a process call: channel `c`'s pointer is pointers()[c].
    Sample** pointers() { return pointers_.data(); }
    Sample* const* pointers() const { return pointers_.data(); }

    // Points every channel's pointer at frame `offset` of its own buffer.
    void pointAt(std::int32_t offset) {
        for (std::size_t c = 0; c < buffers_.size(); ++c) {
            pointers_[c] = buffers_[c].data() + offset;
        }
    }
    // Points channel `c`'s pointer at `samples` instead (processing in place).
    void pointAt(int c, Sample* samples) { pointers_[static_cast<std::size_t>(c)] = samples; }

private:
    std::vector<std::vector<Sample>> buffers_;
    std::vector<Sample*> pointers_;
};

}  // namespace quorvel::host
