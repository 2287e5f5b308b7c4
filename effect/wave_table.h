// WaveTable: one side's wave values at the 361 frame counter positions, kept per position
// together with the period value they were computed for. While the period stays the same a
// frame costs one table read instead of a sine or cosine; a frame whose period differs from
// the one stored at its position computes the value afresh and stores it there.
//
// The values are exactly what the plain formula gives, sin((1 - period) * n) or
// cos((1 - period) * n) with the period widened to double, because they are produced by the
// same expression and the same library function and are only ever copied afterwards.
//
// Lives inside the effect object: no heap memory, no lock. Used on the audio thread only.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

enum class WaveShape { sine, cosine };

template <WaveShape shape>
class WaveTable {
public:
    // Counter positions 0..360.
    static constexpr std::int32_t positionCount = 361;

    // Audio thread. The wave at counter position n (0..360) for this period value. Computes
    // and stores the value when the entry at n was filled for a period with other bits (or
    // never); otherwise only reads it. Changing the period therefore invalidates nothing
    // explicitly: each entry answers only for the bits it was filled for.
    double at(float period, std::int32_t n) noexcept {
        Entry& entry = entries[n];
        const std::uint64_t key = filledMark | std::bit_cast<std::uint32_t>(period);
        if (entry.key == key) [[likely]] {
            return entry.value;
        }
        const double value = compute(period, n);
        entry.key = key;
        entry.value = value;
        return value;
    }

    // Any thread. The plain formula for one position, without the table.
    static double compute(float period, std::int32_t n) noexcept {
        const double argument = (1.0 - static_cast<double>(period)) * static_cast<double>(n);
        return shape == WaveShape::sine ? std::sin(argument) : std::cos(argument);
    }

private:
    // Set in every filled entry's key above the 32 period bits, so that an entry never
    // filled (key 0) matches no period value, whatever its bits.
    static constexpr std::uint64_t filledMark = std::uint64_t{1} << 32;

    // Key and value share one 16-byte slot, so a lookup reads one place. The slot keeps the
    // natural alignment of its fields: an effect holding tables must not need more alignment
    // than the plain heap of every target gives (8 bytes with msvcrt on 32-bit Windows).
    struct Entry {
        std::uint64_t key = 0;
        double value = 0.0;
    };
    static_assert(sizeof(Entry) == 16);
    static_assert(alignof(Entry) <= 8);

    Entry entries[positionCount] = {};
};
