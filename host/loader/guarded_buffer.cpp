#include "host/loader/guarded_buffer.h"

#include <cstring>

namespace quorvel::host {

GuardedBuffer::GuardedBuffer(std::size_t size, std::uint8_t fill) : size_(size), bytes_(size + 2 * guardSize, canary) {
    std::memset(bytes_.data() + guardSize, fill, size);
}

std::size_t GuardedBuffer::overrunAfter() const {
    const std::uint8_t* after = bytes_.data() + guardSize + size_;
    for (std::size_t k = guardSize; k > 0; --k) {
        if (after[k - 1] != canary) {
            return k;
        }
    }
    return 0;
}

std::size_t GuardedBuffer::overrunBefore() const {
    for (std::size_t k = 0; k < guardSize; ++k) {
        if (bytes_[k] != canary) {
            return guardSize - k;
        }
    }
    return 0;
}

std::optional<std::string> GuardedBuffer::text() const {
    const void* zero = std::memchr(data(), 0, size_);
    if (zero == nullptr) {
        return std::nullopt;
    }
    return std::string(data(), static_cast<const char*>(zero));
}

}  // namespace quorvel::host
