#include "common/window_zoom.hpp"

#include <gtest/gtest.h>

namespace tavlomi {
namespace {

TEST(WindowZoom, LargestZoomWithinSixtyPercentOfBothSides) {
    // 60 % of 1920 x 1080 is 1152 x 648: 320 x 240 fits 3 times across but only twice down.
    EXPECT_EQ(chooseZoom(320, 240, 1920, 1080), 2);
    // 60 % of 3840 x 2160 is 2304 x 1296: 7 across, 5 down.
    EXPECT_EQ(chooseZoom(320, 240, 3840, 2160), 5);
    // 60 % of 2560 x 1440 is 1536 x 864: 4 across, 3 down.
    EXPECT_EQ(chooseZoom(320, 240, 2560, 1440), 3);
    // A wide grid is held back by the width: 1152 / 500 is 2, 648 / 100 is 6.
    EXPECT_EQ(chooseZoom(500, 100, 1920, 1080), 2);
}

TEST(WindowZoom, ExactFitCounts) {
    // 60 % of 1600 x 1200 is 960 x 720, exactly three times 320 x 240.
    EXPECT_EQ(chooseZoom(320, 240, 1600, 1200), 3);
    EXPECT_EQ(chooseZoom(320, 240, 1599, 1200), 2);
}

TEST(WindowZoom, NeverBelowOneNorAboveSixteen) {
    EXPECT_EQ(chooseZoom(320, 240, 1024, 768), 1);
    EXPECT_EQ(chooseZoom(1920, 1080, 1920, 1080), 1);
    EXPECT_EQ(chooseZoom(16384, 16384, 800, 600), 1);
    EXPECT_EQ(chooseZoom(1, 1, 7680, 4320), 16);
}

TEST(WindowZoom, UnknownDesktopGivesOne) {
    EXPECT_EQ(chooseZoom(320, 240, 0, 0), 1);
    EXPECT_EQ(chooseZoom(320, 240, -1, 1080), 1);
    EXPECT_EQ(chooseZoom(320, 240, 1920, 0), 1);
}

}  // namespace
}  // namespace tavlomi
