#pragma once

// What the fuzz targets hold the toy to beside the sanitizers' checks: a broken requirement ends
// the run with its reason, and the luminance each grid cell must have.

#include <cstdio>
#include <cstdlib>

namespace tavlomi {

inline void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "requirement broken: %s\n", what);
    std::abort();
}

// The luminance weights as 32-bit floats, the sum in double precision, truncated.
inline int referenceLuminance(int r, int g, int b) {
    const double sum = static_cast<double>(r) * 0.212671f + static_cast<double>(g) * 0.71516f +
                       static_cast<double>(b) * 0.071169f;
    return static_cast<int>(sum);
}

}  // namespace tavlomi
