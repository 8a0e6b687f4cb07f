// GstFrameSource opened on gst-launch fragments, cameras made from them, and video files: the
// frame format, copied or lent, what is handed over, how a stop is noticed, and why opening fails.

#include "gst/gst_frame_source.hpp"

#include <fcntl.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "gst/camera_list.hpp"
#include "gst/gst_support.hpp"
#include "support/gst_pipelines.hpp"
#include "support/recording_notices.hpp"
#include "support/scratch_folder.hpp"

namespace tavlomi {
namespace {

using namespace gst_testing;
using namespace std::chrono_literals;
using Open = std::function<std::unique_ptr<GstFrameSource>(int width, int height, NoticeSink&,
                                                           std::string& error)>;

Open launch(const std::string& description) {
    return std::bind_front(&GstFrameSource::openLaunchSource, description);
}

Open file(const std::string& path) {
    return std::bind_front(&GstFrameSource::openVideoFile, path);
}

// A camera whose source element is a gst-launch fragment; it is never reopened.
Open camera(const std::string& description) {
    const auto make = [description] {
        FloatingRef element{gst_parse_bin_from_description(description.c_str(), TRUE, nullptr)};
        return MadeSource{std::move(element), {}, "test source", "", {}};
    };
    return std::bind_front(&GstFrameSource::openCameraSource, make, GstFrameSource::Recovery{});
}

TEST(GstFrameSource, FramesAreCopiedBottomUpOrLentTopDownInTheCameraModeNearestTheGrid) {
    // GStreamer pads BGR rows of 322, 3, 1 and 161 pixels to four bytes; a lent frame keeps them.
    // The reference is GStreamer's own rendering, stretched for the strip. A camera is asked for
    // its offer nearest the grid, from ranges or listed values; JPEG is decoded. The colour
    // pattern stands still with every row unlike the others, so the copied frame and the next
    // one lent show the same picture and a row out of place shows.
    RecordingNotices n;
    const std::string card = "videotestsrc pattern=colors";
    const std::string live = card + " is-live=true ! ";
    const std::string vga = " ! capsfilter caps=video/x-raw,width=640,height=480";
    const struct {
        Open open;
        int w, h;
        std::optional<CaptureMode> mode;
        std::string reference;
    } cases[] = {
        {launch(card), 322, 240, std::nullopt, card},
        {launch(card), 3, 2, std::nullopt, card},
        {launch(card), 1, 1, std::nullopt, card},
        {launch(card + vga), 161, 20, std::nullopt,
         card + vga + " ! videoconvert ! video/x-raw,format=BGR ! videoscale add-borders=false"},
        {camera(live + "capsfilter caps=\"video/x-raw,format={YUY2,NV12},width=[16,640]," +
                "height=[16,480],framerate=[1/1,60/1]; " +
                "video/x-raw,format=YUY2,width=1280,height=720,framerate=10/1\""),
         300, 220, CaptureMode{{"video/x-raw", "YUY2"}, 300, 220, {30, 1}}, ""},
        {camera(live + "jpegenc ! capsfilter caps=\"image/jpeg,width=640,height=480," +
                "framerate=30/1; image/jpeg,width=176,height=144,framerate=30/1\""),
         160, 120, CaptureMode{{"image/jpeg", ""}, 176, 144, {30, 1}}, ""}};
    for (const auto& c : cases) {
        std::string error;
        auto source = c.open(c.w, c.h, n, error);
        ASSERT_NE(source, nullptr) << error;
        EXPECT_EQ(source->captureMode(), c.mode) << c.w;
        const Frame frame = waitForFrame(*source, c.w, c.h);
        ASSERT_EQ(frame.size(), 3u * c.w * c.h);
        std::optional<FrameView> lent;
        ASSERT_TRUE(pollUntil([&] {
            return (lent = source->viewNewestFrame({}, c.w)).has_value();
        })) << c.w;
        EXPECT_EQ(lent->rowOrder, FrameView::RowOrder::TopDown);
        EXPECT_EQ(lent->rowStride, (3 * c.w + 3) / 4 * 4);
        EXPECT_EQ(differingRows(*lent, frameBufferView(frame, c.w), c.w, c.h), 0) << c.w;
        if (!c.reference.empty()) {
            const Pulled pulled = pullFrames(
                c.reference + " ! videoconvert ! video/x-raw,format=BGR,width=" +
                    std::to_string(c.w) + ",height=" + std::to_string(c.h) + " ! appsink name=sink",
                1);
            ASSERT_EQ(pulled.frames.size(), 1u);
            const FrameView reference{pulled.frames[0].data(), std::ssize(pulled.frames[0]) / c.h,
                                      FrameView::RowOrder::TopDown};
            EXPECT_EQ(differingRows(*lent, reference, c.w, c.h), 0) << c.w << "x" << c.h;
        }
        // The frames that keep coming go into no buffer of another size.
        Frame tooShort(frame.size() - 1, 7);
        std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(source->copyNewestFrame(tooShort));
        EXPECT_EQ(tooShort, Frame(frame.size() - 1, 7));
    }
    EXPECT_TRUE(n.texts.empty());
}

TEST(GstFrameSource, FilesLoopWhileAnErrorOrAnEndIsNoticedOnceAndEndsDelivery) {
    // More frames than a file holds can only come from a loop; sound alongside does not matter.
    // A fragment's frames come every 33 ms until it stops; a second without one means it did.
    // Frames are lent here, as the frame loop takes them.
    const ScratchFolder scratch;
    const std::string avi = (scratch.path() / "short.avi").string();
    const std::string mkv = (scratch.path() / "sound.mkv").string();
    const std::string ball = "videotestsrc pattern=ball num-buffers=";
    const std::string jpeg = " ! video/x-raw,width=64,height=48,framerate=30/1 ! jpegenc ! ";
    ASSERT_TRUE(gstLaunch(ball + "10" + jpeg + "avimux ! filesink location=" + avi));
    ASSERT_TRUE(gstLaunch(ball + "6" + jpeg + "matroskamux name=mux ! filesink location=" + mkv +
                          " audiotestsrc num-buffers=10 ! audioconvert ! mux."));
    const std::string error3 = "videotestsrc ! identity error-after=3";
    const std::string end3 = "videotestsrc is-live=true num-buffers=3";
    RecordingNotices n;
    const struct {
        Open open;
        int w, h, frames;
        std::string notice;
    } cases[] = {
        {file(avi), 33, 25, 25, ""},
        {file(mkv), 17, 9, 15, ""},
        {launch(error3), 8, 8, 1000, "video source \"" + error3 + "\" stopped: "},
        {launch(end3), 8, 8, 1000, "video source \"" + end3 + "\" stopped: the stream ended"}};
    for (const auto& c : cases) {
        n.texts.clear();
        std::string error;
        auto source = c.open(c.w, c.h, n, error);
        ASSERT_NE(source, nullptr) << error;
        int count = 0;
        auto last = Clock::now();
        pollUntil([&] {
            const std::size_t notices = n.texts.size();
            if (source->viewNewestFrame({}, c.w)) {
                EXPECT_EQ(n.texts.size(), notices)
                    << "the call that notices the stop lends a frame";
                ++count;
                last = Clock::now();
            }
            return count == c.frames || Clock::now() - last >= 1s;
        });
        if (c.notice.empty()) {
            EXPECT_EQ(count, c.frames) << c.w;
            EXPECT_TRUE(n.texts.empty());
            continue;
        }
        for (int call = 0; call < 100; ++call)
            EXPECT_FALSE(source->viewNewestFrame({}, c.w));
        ASSERT_EQ(n.texts.size(), 1u) << c.notice;
        EXPECT_TRUE(n.texts[0].starts_with(c.notice)) << n.texts[0];
        EXPECT_TRUE(n.allOnThisThread());
    }
    // Destroyed before any frame was taken.
    std::string error;
    EXPECT_NE(file(avi)(320, 240, n, error), nullptr) << error;
}

TEST(GstFrameSource, OpeningFailsWithASentenceNamingTheSource) {
    const ScratchFolder scratch;
    const std::string dir = scratch.path().string() + "/";
    std::ofstream(dir + "notes.txt") << "these are not moving pictures\n";
    ASSERT_TRUE(
        gstLaunch("audiotestsrc num-buffers=5 ! wavenc ! filesink location=" + dir + "tone.wav"));
    const std::size_t cameras = listCameras().size();
    const auto busy = [] { return MadeSource{{}, {}, "/dev/video5", "it is busy", {}}; };
    const struct {
        Open open;
        std::string start, contains;
        int width = 32, height = 24;
    } cases[] = {
        {std::bind_front(&GstFrameSource::openDevice, "/dev/video-gone"),
         "cannot open camera /dev/video-gone: ", ""},
        {std::bind_front(&GstFrameSource::openCamera, cameras),
         "cannot open camera " + std::to_string(cameras) + ": ", "video capture device"},
        {std::bind_front(&GstFrameSource::openCameraSource, busy, GstFrameSource::Recovery{}),
         "cannot open camera /dev/video5: it is busy", ""},
        {file(dir + "missing.avi"), "cannot open video file " + dir + "missing.avi: ", ""},
        {file(dir + "notes.txt"), "cannot open video file " + dir + "notes.txt: ", ""},
        {file(dir + "tone.wav"), "cannot open video file " + dir + "tone.wav: ", "no video stream"},
        {launch("no-such-thing"), "cannot open source \"no-such-thing\": ", ""},
        {launch("videotestsrc"),
         "cannot open source \"videotestsrc\": ", "the picture size 0 x 24 is not positive", 0},
        {launch("videotestsrc"),
         "cannot open source \"videotestsrc\": ", "the picture size 32 x 0 is not positive", 32, 0},
    };
    RecordingNotices n;
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(c.open(c.width, c.height, n, error), nullptr) << c.start;
        EXPECT_TRUE(error.starts_with(c.start)) << error;
        EXPECT_NE(error.find(c.contains), std::string::npos) << error;
    }
    EXPECT_TRUE(n.texts.empty());
}

TEST(GstSupport, AnErrorIsItsTextWithTheLastLineOfItsDetail) {
    GError* gerror = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                                         "Resource not found.");
    const struct {
        const char* debug;
        std::string text;
    } cases[] = {{nullptr, "Resource not found."},
                 {"gstfilesrc.c(532)", "Resource not found."},
                 {"gstfilesrc.c(532)\nNo such file", "Resource not found. (No such file)"},
                 {"a\nb\nc", "Resource not found. (c)"},
                 {"gstfilesrc.c(532)\n", "Resource not found."}};
    for (const auto& c : cases)
        EXPECT_EQ(describeError(gerror, c.debug), c.text) << (c.debug ? c.debug : "no detail");
    EXPECT_EQ(describeError(nullptr, nullptr), "unknown error");
    g_error_free(gerror);
}

TEST(GstFrameSource, PermissionDeniedNamesTheVideoGroup) {
    // A node nobody may open, tried from a thread whose file access is an ordinary user's even
    // when the tests run as root (the file-system uid is per thread): refused before v4l2src
    // opens it, and from GStreamer's own error.
    const ScratchFolder scratch;
    const std::string path = (scratch.path() / "video0").string();
    std::ofstream(path) << "a camera node nobody may open";
    std::filesystem::permissions(path, std::filesystem::perms::none);
    ensureGst();
    RecordingNotices n;
    std::string deviceError, sourceError;
    bool denied = false;
    // The thread ends right after the attempts, so its file access needs no restoring.
    std::thread([&] {
        if (::geteuid() == 0) {
            ::setfsgid(65534);
            ::setfsuid(65534);
        }
        const int fd = ::open(path.c_str(), O_RDONLY);
        denied = fd < 0 && errno == EACCES;
        if (fd >= 0) ::close(fd);
        if (denied) {
            camera("filesrc location=" + path + " ! jpegdec")(32, 24, n, sourceError);
            GstFrameSource::openDevice(path, 32, 24, n, deviceError);
        }
    }).join();
    if (!denied) GTEST_SKIP() << "file permissions cannot be taken away here";
    EXPECT_EQ(deviceError, "cannot open camera " + path + ": " + permissionDeniedText());
    EXPECT_EQ(sourceError, "cannot open camera test source: " + permissionDeniedText());
}

}  // namespace
}  // namespace tavlomi
