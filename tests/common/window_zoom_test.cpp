#include "common/window_zoom.hpp"

#include <gtest/gtest.h>

namespace tavlomi {
namespace {

TEST(WindowZoom, LargestZoomWithinSixtyPercentOfBothSidesFrom1To16) {
    // Grid, desktop, zoom.
    const int cases[][5] = {
        {320, 240, 1920, 1080, 2},  // 60 % is 1152 x 648: 3 times across, only twice down
        {320, 240, 2560, 1440, 3},  // 1536 x 864: 4 across, 3 down
        {500, 100, 1920, 1080, 2},  // a wide grid is held back by the width
        {320, 240, 1600, 1200, 3},  // 960 x 720, exactly three times
        {320, 240, 1599, 1200, 2}, {1920, 1080, 1920, 1080, 1}, {1, 1, 7680, 4320, 16},
        {320, 240, -1, 1080, 1},   {320, 240, 1920, 0, 1},      {0, 240, 1920, 1080, 1},
        {320, -5, 1920, 1080, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseZoom(c[0], c[1], c[2], c[3]), c[4])
            << c[0] << "x" << c[1] << " on " << c[2] << "x" << c[3];
}

}  // namespace
}  // namespace tavlomi
