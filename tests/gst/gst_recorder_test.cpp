#include "gst/gst_recorder.hpp"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/gst_pipelines.hpp"
#include "support/scratch_folder.hpp"

namespace tavlomi {
namespace {

namespace fs = std::filesystem;
using namespace gst_testing;
using namespace std::chrono_literals;

// Four solid quadrants in 0xRRGGBB, their colours turned by one place per frame, so that decoded
// frames show the channel order, the orientation and the frame order.
constexpr std::array<std::uint32_t, 4> kColours = {0xE61414, 0x14DC28, 0x1E28E6, 0xEBEBEB};

std::uint32_t quadrantColour(int frame, int quadrant) {
    return kColours[static_cast<std::size_t>((quadrant + frame) % 4)];
}

std::vector<std::uint32_t> quadrantPicture(int width, int height, int frame) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y) * width + x] =
                0xFF000000u | quadrantColour(frame, 2 * (y >= height / 2) + (x >= width / 2));
    return pixels;
}

class Recording : public ::testing::TestWithParam<const char*> {};

TEST_P(Recording, EveryFrameDecodesWithItsSizeColoursAndOrder) {
    // Frames pushed then finished, or left to the destructor; real-time frames kept an interval
    // apart by pauses longer than 1/30 s; odd sides, which H.264 cannot take: the odd last column
    // and row are left out. The suffix chooses whatever its case; a frame of the wrong size is
    // left out, and nothing is taken after the end.
    const struct {
        int width, height, frames;
        GstRecorder::Pacing pacing;
        bool finish;
    } cases[] = {{64, 48, 12, GstRecorder::Pacing::EveryFrame, true},
                 {32, 32, 4, GstRecorder::Pacing::EveryFrame, false},
                 {32, 30, 3, GstRecorder::Pacing::RealTime, true},
                 {65, 49, 5, GstRecorder::Pacing::EveryFrame, true}};
    const ScratchFolder scratch;
    const bool webm = std::string(GetParam()) == ".WEBM";
    for (const auto& c : cases) {
        const fs::path file = scratch.path() / (std::to_string(c.height) + GetParam());
        std::string error, encoder;
        {
            auto recorder = GstRecorder::open(file, c.width, c.height, 30, c.pacing, error);
            ASSERT_NE(recorder, nullptr) << error;
            encoder = recorder->encoderName();
            EXPECT_FALSE(recorder->pushFrame(quadrantPicture(c.width, c.height - 1, 0)));
            for (int i = 0; i < c.frames; ++i) {
                if (i > 0 && c.pacing == GstRecorder::Pacing::RealTime)
                    std::this_thread::sleep_for(50ms);
                EXPECT_TRUE(recorder->pushFrame(quadrantPicture(c.width, c.height, i))) << i;
            }
            if (c.finish) {
                EXPECT_TRUE(recorder->finish()) << recorder->error();
                EXPECT_TRUE(recorder->finish());
                EXPECT_FALSE(recorder->pushFrame(quadrantPicture(c.width, c.height, 0)));
            }
            EXPECT_EQ(recorder->framesQueued(), c.frames);
            EXPECT_EQ(recorder->framesLeftOut(), 1);
            EXPECT_EQ(recorder->error(), "");
        }
        EXPECT_TRUE(webm ? encoder == "vp8enc" : encoder == "x264enc" || encoder == "avenc_mpeg4")
            << encoder;
        const Pulled video = pullFrames("filesrc location=\"" + file.string() +
                                        "\" ! decodebin ! videoconvert ! video/x-raw,format=BGRx "
                                        "! appsink name=sink sync=false");
        EXPECT_TRUE(video.ended) << file;
        ASSERT_EQ(video.frames.size(), static_cast<std::size_t>(c.frames)) << file;
        const bool even = encoder == "x264enc";
        EXPECT_EQ(video.width, even ? c.width & ~1 : c.width);
        EXPECT_EQ(video.height, even ? c.height & ~1 : c.height);
        // Lossy coding of solid areas stays within a few levels; a swapped channel is off by ~200.
        for (int q = 0; q < 4 * c.frames; ++q) {
            const int x = (q % 2 * 2 + 1) * video.width / 4;
            const int y = (q / 2 % 2 * 2 + 1) * video.height / 4;
            const std::uint8_t* bgrx = &video.frames[q / 4][4 * (y * video.width + x)];
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_NEAR(bgrx[channel], quadrantColour(q / 4, q % 4) >> 8 * channel & 255, 40)
                    << file << " frame " << q / 4 << " quadrant " << q % 4;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Recording, ::testing::Values(".WEBM", ".Mp4"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param + 1);
                         });

TEST(RecordingLifecycle, UnusableRequestsGiveAClearErrorAndNoFile) {
    const ScratchFolder scratch;
    const std::string dir = scratch.path().string() + "/";
    const std::string wantsSuffix = "the file name must end in .webm or .mp4";
    const struct {
        std::string name;
        int width, height, rate;
        std::string says;
    } cases[] = {
        {"clip.avi", 32, 32, 30, wantsSuffix},
        {"webm", 32, 32, 30, wantsSuffix},
        {"missing/clip.webm", 32, 32, 30, ""},
        {"clip.mp4", 0, 32, 30, "the picture size 0 x 32 is not positive"},
        {"clip.mp4", 32, -1, 30, "the picture size 32 x -1 is not positive"},
        {"clip.mp4", 32, 32, 0, "the frame rate 0 is outside 1..240"},
        {"clip.mp4", 32, 32, GstRecorder::kMaxFramesPerSecond + 1,
         "the frame rate 241 is outside 1..240"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(GstRecorder::open(dir + c.name, c.width, c.height, c.rate,
                                    GstRecorder::Pacing::RealTime, error),
                  nullptr);
        EXPECT_TRUE(error.starts_with("cannot record to " + dir + c.name + ": " + c.says)) << error;
        EXPECT_FALSE(fs::exists(dir + c.name)) << c.name;
    }
    // The fastest rate allowed is taken.
    std::string error;
    EXPECT_NE(GstRecorder::open(dir + "fast.webm", 32, 32, GstRecorder::kMaxFramesPerSecond,
                                GstRecorder::Pacing::EveryFrame, error),
              nullptr)
        << error;
}

}  // namespace
}  // namespace tavlomi
