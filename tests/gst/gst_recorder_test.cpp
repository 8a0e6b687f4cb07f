#include "gst/gst_recorder.hpp"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include "support/scratch_folder.hpp"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace tavlomi {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using Rgb = std::array<int, 3>;

// Four solid quadrants, their colours turned by one place per frame, so that decoded frames
// show the channel order, the orientation and the frame order.
constexpr std::array<Rgb, 4> kColours = {
    {{230, 20, 20}, {20, 220, 40}, {30, 40, 230}, {235, 235, 235}}};

Rgb quadrantColour(int frame, int quadrant) {
    return kColours[static_cast<std::size_t>((quadrant + frame) % 4)];
}

std::vector<std::uint32_t> quadrantPicture(int width, int height, int frame) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int quadrant = (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
            const Rgb c = quadrantColour(frame, quadrant);
            pixels[static_cast<std::size_t>(y) * width + x] =
                0xFF000000u | static_cast<std::uint32_t>(c[0]) << 16 |
                static_cast<std::uint32_t>(c[1]) << 8 | static_cast<std::uint32_t>(c[2]);
        }
    }
    return pixels;
}

struct DecodedVideo {
    std::string error;
    int width = 0;
    int height = 0;
    // Per frame, the colour at the middle of each quadrant.
    std::vector<std::array<Rgb, 4>> quadrants;
    int frames() const { return static_cast<int>(quadrants.size()); }
};

// Decodes the whole file with an independent pipeline (decodebin picks the demuxer and decoder)
// into RGB frames.
DecodedVideo decodeVideo(const fs::path& file) {
    DecodedVideo result;
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    GError* gerror = nullptr;
    GstElement* pipeline = gst_parse_launch(
        "filesrc name=file ! decodebin ! videoconvert ! video/x-raw,format=RGB ! "
        "appsink name=sink sync=false",
        &gerror);
    if (pipeline == nullptr || gerror != nullptr) {
        result.error = gerror != nullptr ? gerror->message : "no pipeline";
        if (gerror != nullptr) g_error_free(gerror);
        if (pipeline != nullptr) gst_object_unref(pipeline);
        return result;
    }
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "file");
    g_object_set(source, "location", file.c_str(), nullptr);
    gst_object_unref(source);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (true) {
        // A safety bound so that a broken file fails the test instead of hanging it.
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 20 * GST_SECOND);
        if (sample == nullptr) {
            if (!gst_app_sink_is_eos(GST_APP_SINK(sink))) {
                GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
                result.error = "decoding stopped before the end";
                if (message != nullptr) {
                    GError* decodeError = nullptr;
                    gst_message_parse_error(message, &decodeError, nullptr);
                    result.error += std::string(": ") + decodeError->message;
                    g_error_free(decodeError);
                    gst_message_unref(message);
                }
            }
            break;
        }
        GstVideoInfo info;
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
        result.width = GST_VIDEO_INFO_WIDTH(&info);
        result.height = GST_VIDEO_INFO_HEIGHT(&info);
        GstVideoFrame frame;
        if (gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
            const auto* data =
                static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
            const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
            std::array<Rgb, 4> colours{};
            for (int quadrant = 0; quadrant < 4; ++quadrant) {
                const int x = (quadrant % 2 == 0 ? 1 : 3) * result.width / 4;
                const int y = (quadrant < 2 ? 1 : 3) * result.height / 4;
                const std::uint8_t* p = data + y * stride + 3 * x;
                colours[static_cast<std::size_t>(quadrant)] = {p[0], p[1], p[2]};
            }
            result.quadrants.push_back(colours);
            gst_video_frame_unmap(&frame);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return result;
}

// Lossy coding of solid areas stays within a few levels; a swapped channel is off by ~200.
void expectColoursOfFrames(const DecodedVideo& video, int firstFrame = 0) {
    constexpr int kTolerance = 40;
    for (int i = 0; i < video.frames(); ++i) {
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const Rgb want = quadrantColour(firstFrame + i, quadrant);
            const Rgb got =
                video.quadrants[static_cast<std::size_t>(i)][static_cast<std::size_t>(quadrant)];
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(got[static_cast<std::size_t>(c)], want[static_cast<std::size_t>(c)],
                            kTolerance)
                    << "frame " << i << " quadrant " << quadrant << " channel " << c;
            }
        }
    }
}

// Records frames 0..count-1 of the quadrant pictures, one per frame interval.
std::string recordFrames(const fs::path& file, int width, int height, int count) {
    std::string error;
    auto recorder =
        GstRecorder::open(file, width, height, 30, GstRecorder::Pacing::EveryFrame, error);
    if (!recorder) return error;
    for (int i = 0; i < count; ++i) {
        if (!recorder->pushFrame(quadrantPicture(width, height, i))) {
            return "frame " + std::to_string(i) + " was not taken: " + recorder->error();
        }
    }
    if (!recorder->finish()) return recorder->error();
    return {};
}

TEST(FramePacer, OneFramePerIntervalOfTheFrameRate) {
    FramePacer pacer(30);
    EXPECT_EQ(pacer.take(nanoseconds(0)), 0);
    EXPECT_EQ(pacer.take(milliseconds(10)), std::nullopt);
    // 1/30 s is 33 333 333.3 ns: the interval changes just after it.
    EXPECT_EQ(pacer.take(nanoseconds(33'333'333)), std::nullopt);
    EXPECT_EQ(pacer.take(nanoseconds(33'333'334)), 1);
    EXPECT_EQ(pacer.take(milliseconds(100)), 3);
    // Times that go back never give an interval again.
    EXPECT_EQ(pacer.take(milliseconds(90)), std::nullopt);
    EXPECT_EQ(pacer.take(milliseconds(140)), 4);
}

TEST(FramePacer, NegativeTimesAndLongRecordings) {
    FramePacer pacer(240);
    EXPECT_EQ(pacer.take(nanoseconds(-5)), 0);
    EXPECT_EQ(pacer.take(nanoseconds(-5)), std::nullopt);
    // Ten days at 240 frames a second: the product of nanoseconds and rate would overflow.
    const auto tenDays = std::chrono::hours(240);
    EXPECT_EQ(pacer.take(tenDays), std::int64_t{240} * 3600 * 240);
}

class Recording : public ::testing::TestWithParam<const char*> {};

TEST_P(Recording, EveryFrameDecodesWithItsSizeColoursAndOrder) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path file = scratch.path() / (std::string("clip") + GetParam());
    constexpr int kFrames = 12;
    ASSERT_EQ(recordFrames(file, 64, 48, kFrames), "");

    const DecodedVideo video = decodeVideo(file);
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.frames(), kFrames);
    EXPECT_EQ(video.width, 64);
    EXPECT_EQ(video.height, 48);
    expectColoursOfFrames(video);
}

TEST_P(Recording, OddSizes) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path file = scratch.path() / (std::string("odd") + GetParam());
    std::string error;
    auto recorder = GstRecorder::open(file, 65, 49, 25, GstRecorder::Pacing::EveryFrame, error);
    ASSERT_NE(recorder, nullptr) << error;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(recorder->pushFrame(quadrantPicture(65, 49, i)));
    ASSERT_TRUE(recorder->finish()) << recorder->error();

    // H.264 takes even sides only: the odd last column and row are left out.
    const bool even = recorder->encoderName() == "x264enc";
    const DecodedVideo video = decodeVideo(file);
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.frames(), 5);
    EXPECT_EQ(video.width, even ? 64 : 65);
    EXPECT_EQ(video.height, even ? 48 : 49);
}

TEST_P(Recording, DestructorFinalisesTheFile) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path file = scratch.path() / (std::string("dropped") + GetParam());
    {
        std::string error;
        auto recorder = GstRecorder::open(file, 32, 32, 30, GstRecorder::Pacing::EveryFrame, error);
        ASSERT_NE(recorder, nullptr) << error;
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(recorder->pushFrame(quadrantPicture(32, 32, i)));
    }
    const DecodedVideo video = decodeVideo(file);
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.frames(), 4);
}

TEST_P(Recording, RealTimeKeepsFramesAnIntervalApart) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path file = scratch.path() / (std::string("live") + GetParam());
    std::string error;
    auto recorder = GstRecorder::open(file, 32, 32, 30, GstRecorder::Pacing::RealTime, error);
    ASSERT_NE(recorder, nullptr) << error;
    // Each pause is longer than the 1/30 s interval, so every frame opens an interval of its own;
    // three frames never fill the queue.
    for (int i = 0; i < 3; ++i) {
        if (i > 0) std::this_thread::sleep_for(milliseconds(50));
        EXPECT_TRUE(recorder->pushFrame(quadrantPicture(32, 32, i))) << "frame " << i;
    }
    ASSERT_TRUE(recorder->finish()) << recorder->error();
    EXPECT_EQ(recorder->framesQueued(), 3);
    EXPECT_EQ(recorder->framesLeftOut(), 0);
    const DecodedVideo video = decodeVideo(file);
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.frames(), 3);
    expectColoursOfFrames(video);
}

INSTANTIATE_TEST_SUITE_P(Formats, Recording, ::testing::Values(".webm", ".mp4"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param + 1);
                         });

TEST(RecordingLifecycle, WrongSizeFramesAreLeftOutAndFinishIsRepeatable) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path file = scratch.path() / "clip.webm";
    std::string error;
    auto recorder = GstRecorder::open(file, 16, 16, 30, GstRecorder::Pacing::EveryFrame, error);
    ASSERT_NE(recorder, nullptr) << error;
    EXPECT_EQ(recorder->encoderName(), "vp8enc");
    EXPECT_FALSE(recorder->pushFrame(quadrantPicture(16, 15, 0)));
    EXPECT_TRUE(recorder->pushFrame(quadrantPicture(16, 16, 0)));
    EXPECT_EQ(recorder->framesLeftOut(), 1);
    EXPECT_EQ(recorder->framesQueued(), 1);
    EXPECT_EQ(recorder->error(), "");

    EXPECT_TRUE(recorder->finish());
    EXPECT_TRUE(recorder->finish());
    EXPECT_FALSE(recorder->pushFrame(quadrantPicture(16, 16, 1)));
    EXPECT_EQ(decodeVideo(file).frames(), 1);
}

TEST(RecordingLifecycle, SuffixChoosesTheFormatWhateverItsCase) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path file = scratch.path() / "LOUD.WEBM";
    std::string error;
    auto recorder = GstRecorder::open(file, 16, 16, 30, GstRecorder::Pacing::EveryFrame, error);
    ASSERT_NE(recorder, nullptr) << error;
    EXPECT_EQ(recorder->encoderName(), "vp8enc");
}

TEST(RecordingLifecycle, UnusableRequestsGiveAClearErrorAndNoFile) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const auto openError = [](const std::string& path, int width, int height, int rate) {
        std::string error;
        auto recorder =
            GstRecorder::open(path, width, height, rate, GstRecorder::Pacing::RealTime, error);
        return recorder ? std::string("opened") : error;
    };
    for (const char* name : {"clip.avi", "clip", "clip.webm.txt", "webm"}) {
        const std::string path = (scratch.path() / name).string();
        const std::string error = openError(path, 32, 32, 30);
        EXPECT_NE(error.find(".webm or .mp4"), std::string::npos) << name << ": " << error;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(path));
    }
    const std::string nowhere = (scratch.path() / "missing" / "clip.webm").string();
    const std::string unwritable = openError(nowhere, 32, 32, 30);
    EXPECT_NE(unwritable.find(nowhere), std::string::npos) << unwritable;
    EXPECT_NE(unwritable, "opened");

    const std::string ok = (scratch.path() / "clip.mp4").string();
    EXPECT_NE(openError(ok, 0, 32, 30).find("size"), std::string::npos);
    EXPECT_NE(openError(ok, 32, -1, 30).find("size"), std::string::npos);
    EXPECT_NE(openError(ok, 32, 32, 0).find("frame rate"), std::string::npos);
    EXPECT_NE(openError(ok, 32, 32, GstRecorder::kMaxFramesPerSecond + 1).find("frame rate"),
              std::string::npos);
}

}  // namespace
}  // namespace tavlomi
