#include "capture/clip_file_source.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "support/scratch_folder.hpp"

namespace tavlomi {
namespace {

TEST(ClipFileSource, CallIDeliversFrameMinIKMinus1AndBadSizesAreRefused) {
    const ScratchFolder folder;
    const std::string path = (folder.path() / "clip.raw").string();
    std::ofstream(path, std::ios::binary) << "abcdefABCDEF";  // two 2 x 1 frames
    std::string error;
    const std::unique_ptr<ClipFileSource> clip = ClipFileSource::open(path, 2, 1, error);
    ASSERT_NE(clip, nullptr) << error;
    EXPECT_EQ(clip->frameCount(), 2);
    std::string frame(6, '-');
    const std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(frame.data()), 6);
    EXPECT_TRUE(clip->copyNewestFrame(bytes));
    EXPECT_EQ(frame, "abcdef");
    EXPECT_TRUE(clip->copyNewestFrame(bytes));
    EXPECT_EQ(frame, "ABCDEF");
    // Past the end nothing new arrives, so the last frame stays.
    EXPECT_FALSE(clip->copyNewestFrame(bytes));
    EXPECT_EQ(frame, "ABCDEF");
    // Sizes without pixels and files of no whole frames are refused.
    const struct {
        std::string path;
        int width;
        int height;
        std::string says;
    } cases[] = {
        {path, 0, 1, "a clip of 0 x 1 frames has no pixels"},
        {path, 4, 0, "a clip of 4 x 0 frames has no pixels"},
        {path, 5, 1, "the clip '" + path + "' holds 12 bytes, not a whole number of 5 x 1 frames"},
        {path + "-missing", 2, 1, "cannot read the clip '" + path + "-missing'"},
    };
    for (const auto& c : cases) {
        error.clear();
        EXPECT_EQ(ClipFileSource::open(c.path, c.width, c.height, error), nullptr);
        EXPECT_EQ(error.rfind(c.says, 0), 0u) << error;
    }
}

}  // namespace
}  // namespace tavlomi
