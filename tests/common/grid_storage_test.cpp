// Grids made for huge pages hold exactly what a plain vector of the same size and value holds.

#include "common/grid_storage.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/grid.hpp"

namespace tavlomi {
namespace {

TEST(GridStorage, SameContentsAsAPlainVector) {
    // Sizes below, at and well above a huge page, as ints, bytes and cells.
    for (std::size_t count : {0, 1, 1000, 524288, 524289, 1920 * 1080, 3 * 1920 * 1080 + 7}) {
        EXPECT_EQ(makeGrid<int>(count, -400), std::vector<int>(count, -400)) << count;
        EXPECT_EQ(makeGrid<std::uint8_t>(count, 7), std::vector<std::uint8_t>(count, 7)) << count;
        const RgbGrid cells = makeGrid<RgbCell>(count);
        ASSERT_EQ(cells.size(), count);
        for (const RgbCell& cell : cells)
            ASSERT_EQ(cellWord(cell), 0u);
    }
}

TEST(GridStorage, LargeGridsReserveAMappingOfWholeHugePages) {
    // From 1 MiB on, the reservation and a page make a whole number of 2 MiB pages.
    const struct {
        std::size_t count, size, reserved;
    } cases[] = {
        {1000, 4, 1000},
        {1048575, 1, 1048575},
        {1048576, 1, 2093056},
        {1920 * 1080, 1, 2093056},
        {2093056, 1, 2093056},
        {2093057, 1, 4190208},
        {1920 * 1080, 4, 2096128},
    };
    for (const auto& c : cases)
        EXPECT_EQ(grid_storage::reservedCount(c.count, c.size), c.reserved) << c.count;
}

}  // namespace
}  // namespace tavlomi
