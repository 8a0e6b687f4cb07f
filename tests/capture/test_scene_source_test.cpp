#include "capture/test_scene_source.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>
#include <vector>

#include "capture/frame_conversion.hpp"

namespace tavlomi {
namespace {

std::size_t frameBytes(int width, int height) {
    return 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

std::vector<int> lumaOf(const std::vector<std::uint8_t>& frame) {
    std::vector<int> luma(frame.size() / 3);
    for (std::size_t p = 0; p < luma.size(); ++p) {
        luma[p] = luminance(frame[3 * p + 2], frame[3 * p + 1], frame[3 * p]);
    }
    return luma;
}

struct Size {
    int width;
    int height;
};

class TestSceneSizes : public ::testing::TestWithParam<Size> {};

INSTANTIATE_TEST_SUITE_P(ManyShapes, TestSceneSizes,
                         ::testing::Values(Size{1, 1}, Size{2, 1}, Size{1, 3}, Size{3, 2},
                                           Size{7, 5}, Size{320, 240}, Size{322, 241}, Size{641, 3},
                                           Size{2, 480}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST_P(TestSceneSizes, EveryFrameWritesExactlyTheWholeBuffer) {
    // Two scenes write into buffers that start all 0x00 and all 0xFF; where a byte was skipped
    // the two differ. Guard bytes after the frame must stay as they were.
    const auto [width, height] = GetParam();
    const std::size_t bytes = frameBytes(width, height);
    const std::size_t guard = 64;
    TestSceneSource first(width, height);
    TestSceneSource second(width, height);
    for (int frame = 0; frame < 4; ++frame) {
        std::vector<std::uint8_t> zeros(bytes + guard, 0x00);
        std::vector<std::uint8_t> ones(bytes + guard, 0xFF);
        ASSERT_TRUE(first.copyNewestFrame(std::span(zeros).first(bytes)));
        ASSERT_TRUE(second.copyNewestFrame(std::span(ones).first(bytes)));
        EXPECT_TRUE(std::equal(zeros.begin(), zeros.begin() + static_cast<std::ptrdiff_t>(bytes),
                               ones.begin()))
            << "frame " << frame;
        EXPECT_TRUE(std::all_of(zeros.end() - guard, zeros.end(), [](auto v) { return v == 0; }));
        EXPECT_TRUE(std::all_of(ones.end() - guard, ones.end(), [](auto v) { return v == 0xFF; }));
    }
    EXPECT_EQ(first.framesWritten(), 4u);
}

TEST_P(TestSceneSizes, SameFrameNumberGivesTheSamePicture) {
    const auto [width, height] = GetParam();
    TestSceneSource first(width, height);
    TestSceneSource second(width, height);
    std::vector<std::uint8_t> a(frameBytes(width, height));
    std::vector<std::uint8_t> b(frameBytes(width, height));
    for (int frame = 0; frame < 60; ++frame) {
        first.copyNewestFrame(a);
        second.copyNewestFrame(b);
        ASSERT_EQ(a, b) << "frame " << frame;
    }
}

TEST(TestScene, WrongBufferSizeIsRefusedAndTheFilmWaits) {
    TestSceneSource scene(4, 3);
    std::vector<std::uint8_t> small(frameBytes(4, 3) - 1, 5);
    std::vector<std::uint8_t> large(frameBytes(4, 3) + 1, 5);
    EXPECT_FALSE(scene.copyNewestFrame(small));
    EXPECT_FALSE(scene.copyNewestFrame(large));
    EXPECT_EQ(small, std::vector<std::uint8_t>(frameBytes(4, 3) - 1, 5));
    EXPECT_EQ(large, std::vector<std::uint8_t>(frameBytes(4, 3) + 1, 5));
    EXPECT_EQ(scene.framesWritten(), 0u);

    // The refused calls did not advance it: its first frame is a fresh scene's first frame.
    TestSceneSource fresh(4, 3);
    std::vector<std::uint8_t> a(frameBytes(4, 3));
    std::vector<std::uint8_t> b(frameBytes(4, 3));
    EXPECT_TRUE(scene.copyNewestFrame(a));
    EXPECT_TRUE(fresh.copyNewestFrame(b));
    EXPECT_EQ(a, b);
}

TEST(TestScene, EmptySizeGivesAnEmptyPicture) {
    TestSceneSource scene(0, 5);
    std::vector<std::uint8_t> none;
    EXPECT_TRUE(scene.copyNewestFrame(none));
    std::vector<std::uint8_t> one(3, 1);
    EXPECT_FALSE(scene.copyNewestFrame(one));
    TestSceneSource negative(-3, -2);
    EXPECT_TRUE(negative.copyNewestFrame(none));
}

class TestSceneMotion : public ::testing::TestWithParam<Size> {};

INSTANTIATE_TEST_SUITE_P(UsualSizes, TestSceneMotion,
                         ::testing::Values(Size{320, 240}, Size{161, 121}, Size{640, 480}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST_P(TestSceneMotion, EveryFrameMovesMoreThanTheDefaultThreshold) {
    // The toy starts with a motion threshold of 14: every new frame must show motion to it.
    const auto [width, height] = GetParam();
    TestSceneSource scene(width, height);
    std::vector<std::uint8_t> frame(frameBytes(width, height));
    scene.copyNewestFrame(frame);
    std::vector<int> previous = lumaOf(frame);
    for (int n = 1; n < 600; ++n) {
        scene.copyNewestFrame(frame);
        const std::vector<int> luma = lumaOf(frame);
        int largestChange = 0;
        for (std::size_t p = 0; p < luma.size(); ++p) {
            largestChange = std::max(largestChange, std::abs(luma[p] - previous[p]));
        }
        ASSERT_GT(largestChange, 14) << "frame " << n;
        previous = luma;
    }
}

TEST(TestScene, PictureIsColourfulWithBrightBlobs) {
    const int width = 320, height = 240;
    TestSceneSource scene(width, height);
    std::vector<std::uint8_t> frame(frameBytes(width, height));
    scene.copyNewestFrame(frame);
    std::set<int> colours;
    int brightPixels = 0;
    for (std::size_t p = 0; p < frame.size() / 3; ++p) {
        colours.insert(frame[3 * p] | frame[3 * p + 1] << 8 | frame[3 * p + 2] << 16);
        if (luminance(frame[3 * p + 2], frame[3 * p + 1], frame[3 * p]) > 230) ++brightPixels;
    }
    EXPECT_GT(colours.size(), 1000u);
    EXPECT_GT(brightPixels, 30);
    EXPECT_LT(brightPixels, width * height / 4);
}

TEST(TestScene, BlobsTravelAcrossThePicture) {
    // The brightest pixel is a blob's centre; over many frames it must visit every quarter.
    const int width = 200, height = 150;
    TestSceneSource scene(width, height);
    std::vector<std::uint8_t> frame(frameBytes(width, height));
    bool visited[2][2] = {};
    for (int n = 0; n < 1500; ++n) {
        scene.copyNewestFrame(frame);
        const std::vector<int> luma = lumaOf(frame);
        const auto brightest =
            static_cast<int>(std::max_element(luma.begin(), luma.end()) - luma.begin());
        const int column = brightest % width;
        const int rowFromTop = height - 1 - brightest / width;
        visited[rowFromTop < height / 2 ? 0 : 1][column < width / 2 ? 0 : 1] = true;
    }
    EXPECT_TRUE(visited[0][0]);
    EXPECT_TRUE(visited[0][1]);
    EXPECT_TRUE(visited[1][0]);
    EXPECT_TRUE(visited[1][1]);
}

}  // namespace
}  // namespace tavlomi
