#pragma once

// The instruction sets the fast kernels are written for. One binary runs on any x86-64, so each
// family of kernels is chosen at run time from what the processor reports: its header declares
// a table of function pointers and `fooKernels(level)`, which returns the table for a level; the
// reference loops, plain C++ one cell at a time, stand beside it. Every level gives the reference
// loops' results, bit for bit. The x86 kernels are compiled only where TAVLOMI_X86_KERNELS is 1;
// other targets (a WebAssembly build) run the portable loops.

#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#define TAVLOMI_X86_KERNELS 1
#else
#define TAVLOMI_X86_KERNELS 0
#endif

// For a plain loop that the compiler vectorises as well as hand-written intrinsics would: on x86
// the compiler also makes an AVX2 copy of the function, which the loader picks on processors that
// have AVX2. The loop stays one piece of plain C++ on every target. ThreadSanitizer's build goes
// without the copy: the loader runs the picking code before ThreadSanitizer has started, which
// crashes in its instrumentation.
#if TAVLOMI_X86_KERNELS && !defined(__SANITIZE_THREAD__)
#define TAVLOMI_VECTOR_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define TAVLOMI_VECTOR_LOOP
#endif

namespace tavlomi {

enum class SimdLevel {
    // Plain C++ that any processor runs.
    Portable,
    // 256-bit integer vectors (x86-64 AVX2).
    Avx2,
};

inline bool simdLevelSupported(SimdLevel level) {
#if TAVLOMI_X86_KERNELS
    return level == SimdLevel::Portable || __builtin_cpu_supports("avx2");
#else
    return level == SimdLevel::Portable;
#endif
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
