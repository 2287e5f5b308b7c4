// Reads a fuzzer's input as a stream of little-endian fields. Past the end every field
// reads as zero, so any byte string is a valid input and short inputs stay meaningful.
// The seed files (make_seeds.py) are written in the same layout.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }

    std::uint8_t u8() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | (u8() << 8)); }
    std::uint32_t u32() { return u16() | (static_cast<std::uint32_t>(u16()) << 16); }
    std::uint64_t u64() { return u32() | (static_cast<std::uint64_t>(u32()) << 32); }
    std::int8_t i8() { return static_cast<std::int8_t>(u8()); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    // Any 32 bits, NaNs, infinities and subnormals included.
    float f32() { return std::bit_cast<float>(u32()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A broken promise: reports it and aborts, which libFuzzer records as a crash with the input.
[[noreturn]] inline void fuzzFailure(const char* what) {
    std::fprintf(stderr, "\n*** fuzz check failed: %s\n", what);
    std::abort();
}

inline void fuzzCheck(bool holds, const char* what) {
    if (!holds) {
        fuzzFailure(what);
    }
}
