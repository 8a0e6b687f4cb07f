#pragma once

// Storage for the large per-cell grids. A full-HD grid spans thousands of 4 KiB pages, and the
// first write to each is a page fault; where the system offers transparent huge pages on
// request, the grid asks for 2 MiB pages before its first write, which takes hundreds of times
// fewer faults at start-up. The contents are those of std::vector<T>(count, value).
//
// Only a 2 MiB page that lies wholly inside one mapping can back it. Linux places an anonymous
// mapping whose length is a whole number of 2 MiB pages on a 2 MiB boundary, and the C library
// maps a large block by itself with a small header before it; so the grid reserves room that
// makes its block's mapping exactly such a length, and every page of it can be a huge one. Where
// the block lies elsewhere (from the heap, or with another header), only the huge pages wholly
// inside the grid are asked for. The room beyond count is never touched.

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tavlomi {

namespace grid_storage {

inline constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
inline constexpr std::uintptr_t kPage = 4096;
// The C library's header before a mapped block: its size word and the one before it.
inline constexpr std::uintptr_t kBlockHeader = 16;

// Elements to reserve for count of size bytes each. From half a huge page on, their block, header
// and all, ends a page before a whole number of huge pages, which the page-rounded mapping fills
// exactly; smaller grids (the tests') take only what they hold.
constexpr std::size_t reservedCount(std::size_t count, std::size_t size) {
    if (count * size < kHugePage / 2) return count;
    const std::size_t bytes = count * size + kPage;
    const std::size_t hugePages = (bytes + kHugePage - 1) / kHugePage;
    return (hugePages * kHugePage - kPage) / size;
}

}  // namespace grid_storage

template <typename T>
std::vector<T> makeGrid(std::size_t count, const T& value = T{}) {
    std::vector<T> grid;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    using namespace grid_storage;
    const std::size_t reserved = reservedCount(count, sizeof(T));
    grid.reserve(reserved);
    const auto begin = reinterpret_cast<std::uintptr_t>(grid.data());
    std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    std::uintptr_t end = (begin + count * sizeof(T)) & ~(kHugePage - 1);
    if (reserved > count && (begin - kBlockHeader) % kHugePage == 0) {
        // The block's own mapping, on a huge page boundary: all of it.
        first = begin - kBlockHeader;
        end = first + (reserved * sizeof(T) + kPage + kHugePage - 1) / kHugePage * kHugePage;
    }
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
    grid.assign(count, value);
    return grid;
}

}  // namespace tavlomi
