// The plain per-frame formula of Quorvel's sound, against which tests check the processing
// bit for bit, and helpers to compare samples by their bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "effect/quorvel.h"

// The plain formula for one frame. p holds the seven parameters, n the frame counter.
inline double leftFrame(const float* p, int n, double in) {
    const double balance = p[0];
    if (p[1] > 0.5F) {
        return ((std::sin((1.0 - p[3]) * n) * p[2]) * in) * (1.0 - balance);
    }
    return (1.0 - balance) * in;
}

inline double rightFrame(const float* p, int n, double in) {
    const double balance = p[0];
    if (p[4] > 0.5F) {
        return ((std::cos((1.0 - p[6]) * n) * p[5]) * in) * balance;
    }
    return balance * in;
}

inline std::uint64_t bitsOf(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline std::uint32_t bitsOf(float x) {
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// A Quorvel on the heap, deleted at the end of the scope.
struct OwnedQuorvel {
    Quorvel* effect = new Quorvel(nullptr);
    ~OwnedQuorvel() { delete effect; }
};
