#pragma once

// Whether the memory a grid size needs can be had, asked before the window opens: at the largest
// sizes the toy needs gigabytes, and an allocation failing later would end in an abort.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavlomi {

// The toy's own grids and effect buffers at their peak, during start-up (tests/app counts them).
constexpr std::uint64_t kToyBytesPerCell = 26;
// The edges': the display's effect surface and screen (8), a snapshot's screen copy and PNG rows
// (7), and three frames of the picture source in flight (9).
constexpr std::uint64_t kEdgeBytesPerCell = 24;

constexpr std::uint64_t toyMemoryBytes(int width, int height) {
    return (kToyBytesPerCell + kEdgeBytesPerCell) * static_cast<std::uint64_t>(width) *
           static_cast<std::uint64_t>(height);
}

// What this process can still allocate: the least of the system's MemAvailable and the room
// left under RLIMIT_AS, RLIMIT_DATA and, in WebAssembly, the heap's maximum; nullopt when none
// of them is known.
std::optional<std::uint64_t> availableMemoryBytes();

// Empty when a width x height toy fits in available bytes (or nothing is known), else a notice
// such as "not enough memory for a 16383 x 16383 grid: it needs about 13.4 GB, 3.1 GB can be
// had".
std::string memoryShortage(int width, int height, std::optional<std::uint64_t> available);

// Runs body, which must open no window before, when a width x height toy fits in what can be
// had, and returns its exit status. Status 1 after "<program>: " and memoryShortage's notice on
// stderr otherwise, or after "<program>: not enough memory for a W x H grid" when an allocation
// inside body fails.
int exitStatusWithinMemory(std::string_view program, int width, int height,
                           const std::function<int()>& body);

}  // namespace tavlomi
