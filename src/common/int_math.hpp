#pragma once

// The integer roundings the pixel math depends on, each written once and named for its rounding.
// Results of the effects are defined by these exact rules, so no kernel spells them inline.

#include <cstdint>

namespace tavlomi {

// Arithmetic shift right: rounds toward minus infinity, so asr(-1, 3) is -1 (C++20 defines >> on
// negative values this way).
constexpr int asr(int value, int bits) {
    return value >> bits;
}

// Division truncating toward zero, so div_trunc(-30, 25) is -1.
constexpr int div_trunc(int numerator, int denominator) {
    return numerator / denominator;
}

// Two's-complement sum and difference, wrapping at 32 bits instead of overflowing: the water's
// heights have no bounds, and in motion mode they can outgrow an int.
constexpr int wrap_add(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
constexpr int wrap_sub(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// Clamp into [lo, hi]; lo is tested first, so a crossed range yields hi.
constexpr int clamp_to(int value, int lo, int hi) {
    if (value < lo) value = lo;
    if (value > hi) value = hi;
    return value;
}

// Clamp a colour channel into 0..255.
constexpr int clamp_u8(int value) {
    return clamp_to(value, 0, 255);
}

// Float-to-int conversion truncating toward zero, as every float-to-int conversion of the toy is.
constexpr int trunc_to_int(double value) {
    return static_cast<int>(value);
}

}  // namespace tavlomi
