// A buffer handed to an untrusted plug-in, with canary bytes on both sides so that a write
// before its start or past its end is seen afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::host {

class GuardedBuffer {
public:
    // Bytes of canary on each side: wide enough that an overrun of a few kilobytes (a text
    // or record written into the wrong kind of buffer) lands in the guard instead of in the
    // host's heap, and is measured.
    static constexpr std::size_t guardSize = 8192;
    static constexpr std::uint8_t canary = 0xA5;

    // `size` usable bytes, each set to `fill`.
    explicit GuardedBuffer(std::size_t size, std::uint8_t fill = 0);

    // The usable bytes, for the plug-in to write.
    char* data() { return reinterpret_cast<char*>(bytes_.data() + guardSize); }
    const char* data() const { return reinterpret_cast<const char*>(bytes_.data() + guardSize); }
    std::size_t size() const { return size_; }

    // How far the plug-in wrote past the end: the distance from the end to the farthest
    // changed canary byte, 0 when the guard after the buffer is intact.
    std::size_t overrunAfter() const;
    // Likewise for the guard in front of the buffer.
    std::size_t overrunBefore() const;
    bool intact() const { return overrunAfter() == 0 && overrunBefore() == 0; }

    // The text in the buffer up to its first zero byte; nothing when the usable bytes hold no
    // zero (the text is not terminated within the buffer).
    std::optional<std::string> text() const;

private:
    std::size_t size_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace quorvel::host
