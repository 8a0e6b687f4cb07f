#pragma once

// A run of consecutive grid rows, or of cells: the part of a grid loop that one call does, so
// that the loop can be split into bands that run at once (see WorkerPool).

namespace tavlomi {

// Rows begin..end - 1; empty when end <= begin.
struct RowRange {
    int begin = 0;
    int end = 0;

    int size() const { return end > begin ? end - begin : 0; }
    // The rows of both ranges.
    RowRange within(int first, int last) const {
        return {begin > first ? begin : first, end < last ? end : last};
    }
};

// Every row of a grid height rows high.
constexpr RowRange allRows(int height) {
    return {0, height};
}

}  // namespace tavlomi
