#pragma once

// The instruction sets the fast kernels are written for. One binary runs on any x86-64, so each
// kernel is chosen at run time from what the processor reports; every level gives the same
// results, bit for bit.

#include <vector>

namespace tavlomi {

enum class SimdLevel {
    // Plain C++ that any processor runs.
    Portable,
    // 256-bit integer vectors (x86-64 AVX2).
    Avx2,
};

inline bool simdLevelSupported(SimdLevel level) {
    switch (level) {
        case SimdLevel::Portable:
            return true;
        case SimdLevel::Avx2:
#if defined(__x86_64__) || defined(__i386__)
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
    }
    return false;
}

// The widest level this processor runs.
inline SimdLevel bestSimdLevel() {
    return simdLevelSupported(SimdLevel::Avx2) ? SimdLevel::Avx2 : SimdLevel::Portable;
}

// Every level this processor runs, Portable first.
inline std::vector<SimdLevel> supportedSimdLevels() {
    std::vector<SimdLevel> levels{SimdLevel::Portable};
    if (simdLevelSupported(SimdLevel::Avx2)) levels.push_back(SimdLevel::Avx2);
    return levels;
}

}  // namespace tavlomi
