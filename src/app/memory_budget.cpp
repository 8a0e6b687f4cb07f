#include "app/memory_budget.hpp"

#include <sys/resource.h>
#include <unistd.h>

#ifdef __EMSCRIPTEN__
#include <emscripten/heap.h>
#endif

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <new>

namespace tavlomi {

namespace {

// "13.4 GB", or "50 MB" below a gigabyte.
std::string sizeText(std::uint64_t bytes) {
    char text[32];
    if (bytes >= 1000000000) {
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    } else {
        std::snprintf(text, sizeof text, "%llu MB",
                      static_cast<unsigned long long>((bytes + 500000) / 1000000));
    }
    return text;
}

std::string gridName(int width, int height) {
    return "not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) +
           " grid";
}

// The system's estimate of memory that new work can take without swapping.
std::optional<std::uint64_t> memAvailable() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kilobytes = 0;
    while (meminfo >> key >> kilobytes) {
        if (key == "MemAvailable:") return kilobytes * 1024;
        meminfo.ignore(64, '\n');
    }
    return std::nullopt;
}

// Room under a limit of this process, given what it already counts against it in pages.
std::optional<std::uint64_t> roomUnder(int resource, std::uint64_t usedPages) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    const std::uint64_t used = usedPages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

// A WebAssembly heap grows only up to its maximum, however much the machine has left.
std::optional<std::uint64_t> roomInHeap() {
#ifdef __EMSCRIPTEN__
    return emscripten_get_heap_max() - emscripten_get_heap_size();
#else
    return std::nullopt;
#endif
}

}  // namespace

std::optional<std::uint64_t> availableMemoryBytes() {
    // statm: the whole address space, resident, shared, text, library, data and stack, in pages.
    std::uint64_t size = 0;
    std::uint64_t data = 0;
    std::uint64_t skipped = 0;
    std::ifstream("/proc/self/statm") >> size >> skipped >> skipped >> skipped >> skipped >> data;
    std::optional<std::uint64_t> least;
    for (const std::optional<std::uint64_t> bound :
         {memAvailable(), roomUnder(RLIMIT_AS, size), roomUnder(RLIMIT_DATA, data), roomInHeap()}) {
        if (bound) least = least ? std::min(*least, *bound) : *bound;
    }
    return least;
}

std::string memoryShortage(int width, int height, std::optional<std::uint64_t> available) {
    const std::uint64_t needed = toyMemoryBytes(width, height);
    if (!available || needed <= *available) return {};
    return gridName(width, height) + ": it needs about " + sizeText(needed) + ", " +
           sizeText(*available) + " can be had";
}

int exitStatusWithinMemory(std::string_view program, int width, int height,
                           const std::function<int()>& body) {
    if (const std::string shortage = memoryShortage(width, height, availableMemoryBytes());
        !shortage.empty()) {
        std::cerr << program << ": " << shortage << "\n";
        return 1;
    }
    try {
        return body();
    } catch (const std::bad_alloc&) {
        std::cerr << program << ": " << gridName(width, height) << "\n";
        return 1;
    }
}

}  // namespace tavlomi
