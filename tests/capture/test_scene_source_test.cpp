#include "capture/test_scene_source.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "capture/frame_conversion.hpp"

namespace tavlomi {
namespace {

TEST(TestScene, WritesExactlyABufferOfItsSizeAndTheSameFilmEveryTime) {
    for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {7, 5}, {322, 241}, {641, 3}, {2, 480}}) {
        // Two scenes write into buffers that start all 0x00 and all 0xFF and go on with guard
        // bytes: a byte left unwritten makes them differ, and the guards must keep their value.
        TestSceneSource first(w, h), second(w, h);
        const std::size_t bytes = 3 * static_cast<std::size_t>(w * h);
        // A buffer of another size is refused and left as it was, and the film waits.
        std::vector<std::uint8_t> small(bytes - 1, 5), large(bytes + 1, 5);
        EXPECT_FALSE(first.copyNewestFrame(small) || first.copyNewestFrame(large));
        EXPECT_EQ(small, std::vector<std::uint8_t>(bytes - 1, 5));
        EXPECT_EQ(large, std::vector<std::uint8_t>(bytes + 1, 5));
        for (int frame = 0; frame < 4; ++frame) {
            std::vector<std::uint8_t> zeros(bytes + 64, 0x00), ones(bytes + 64, 0xFF);
            ASSERT_TRUE(first.copyNewestFrame(std::span(zeros).first(bytes)));
            ASSERT_TRUE(second.copyNewestFrame(std::span(ones).first(bytes)));
            EXPECT_TRUE(std::equal(zeros.begin(), zeros.begin() + bytes, ones.begin())) << w << h;
            EXPECT_EQ(std::count(zeros.begin() + bytes, zeros.end(), 0x00), 64) << w << "x" << h;
            EXPECT_EQ(std::count(ones.begin() + bytes, ones.end(), 0xFF), 64) << w << "x" << h;
        }
        EXPECT_EQ(first.framesWritten(), 4u);
    }
    // A size of 0 or less gives an empty picture.
    std::vector<std::uint8_t> none, one(3);
    EXPECT_TRUE(TestSceneSource(0, 5).copyNewestFrame(none));
    EXPECT_FALSE(TestSceneSource(0, 5).copyNewestFrame(one));
    EXPECT_TRUE(TestSceneSource(-3, -2).copyNewestFrame(none));
}

TEST(TestScene, BlobsMoveEveryFrameAndTravelEverywhereOverAColourfulPicture) {
    const int w = 200, h = 150;
    TestSceneSource scene(w, h);
    std::vector<std::uint8_t> frame(3 * w * h);
    std::vector<int> luma(w * h), previous(w * h, 1000);
    bool visited[2][2] = {};
    for (int n = 0; n < 1500; ++n) {
        scene.copyNewestFrame(frame);
        int largestChange = 0;
        for (int p = 0; p < w * h; ++p) {
            luma[p] = luminance(frame[3 * p + 2], frame[3 * p + 1], frame[3 * p]);
            largestChange = std::max(largestChange, std::abs(luma[p] - previous[p]));
        }
        // The toy starts with a threshold of 14: every new frame must show motion to it.
        ASSERT_GT(largestChange, 14) << "frame " << n;
        // The brightest pixel is a blob's centre; each quarter of the picture sees one.
        const auto brightest = std::max_element(luma.begin(), luma.end()) - luma.begin();
        visited[brightest / w < h / 2][brightest % w < w / 2] = true;
        previous = luma;
    }
    EXPECT_TRUE(visited[0][0] && visited[0][1] && visited[1][0] && visited[1][1]);
    std::set<int> colours;
    for (int p = 0; p < w * h; ++p)
        colours.insert(frame[3 * p] | frame[3 * p + 1] << 8 | frame[3 * p + 2] << 16);
    EXPECT_GT(colours.size(), 1000u);
    // The background's darkest shade, on every row and column, is far from black.
    EXPECT_GT(*std::min_element(luma.begin(), luma.end()), 20);
    const auto bright = std::count_if(luma.begin(), luma.end(), [](int v) { return v > 230; });
    EXPECT_GT(bright, 30);
    EXPECT_LT(bright, w * h / 4);
}

}  // namespace
}  // namespace tavlomi
