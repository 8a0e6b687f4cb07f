#pragma once

// Storage for the large per-cell grids. A full-HD grid spans thousands of 4 KiB pages, and the
// first write to each is a page fault; where the system offers transparent huge pages on
// request, the grid asks for 2 MiB pages before its first write, which takes hundreds of times
// fewer faults at start-up. The contents are those of std::vector<T>(count, value).

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tavlomi {

template <typename T>
std::vector<T> makeGrid(std::size_t count, const T& value = T{}) {
    std::vector<T> grid;
    grid.reserve(count);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the allocation can be backed by one.
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(grid.data());
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (begin + count * sizeof(T)) & ~(kHugePage - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
    grid.assign(count, value);
    return grid;
}

}  // namespace tavlomi
