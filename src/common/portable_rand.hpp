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
        next_ = next_ * 1103515245u + 12345u;
        return static_cast<int>((next_ / 65536u) % 32768u);
    }

  private:
    std::uint32_t next_ = 1;
};

}  // namespace tavlomi
