#pragma once

// The pseudo-random numbers of the toy: the C standard's portable example generator, never
// seeded, so the sequence is the same on every platform and every run. The C library's rand()
// is not used because glibc's returns values up to 2^31 - 1 and several formulas need 0..32767.

#include <cstdint>

namespace tavlomi {

class PortableRand {
  public:
    // Next value, 0..32767.
    int rand() {
        next_ = next_ * kMultiplier + kIncrement;
        return static_cast<int>((next_ / 65536u) % 32768u);
    }

    // Moves on as count calls of rand() would, in about log2(count) steps: the step
    // s -> a s + c (mod 2^32) applied k times is s -> A s + C, and the pairs (A, C) for k = 2^i
    // follow from composing each with itself.
    void discard(std::uint64_t count) {
        std::uint32_t multiplier = 1;
        std::uint32_t increment = 0;
        std::uint32_t stepMultiplier = kMultiplier;
        std::uint32_t stepIncrement = kIncrement;
        for (; count != 0; count >>= 1) {
            if ((count & 1) != 0) {
                multiplier *= stepMultiplier;
                increment = increment * stepMultiplier + stepIncrement;
            }
            stepIncrement = (stepMultiplier + 1) * stepIncrement;
            stepMultiplier *= stepMultiplier;
        }
        next_ = next_ * multiplier + increment;
    }

  private:
    static constexpr std::uint32_t kMultiplier = 1103515245u;
    static constexpr std::uint32_t kIncrement = 12345u;

    std::uint32_t next_ = 1;
};

}  // namespace tavlomi
