#include "common/virtual_camera_plan.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/newest_screen.hpp"

namespace tavlomi {
namespace {

// QUERYCAP as the drivers answer it: v4l2loopback with exclusive_caps=1 before and after a
// program writes to it, without exclusive_caps, a UVC webcam, a hardware codec (M2M).
const VideoNode kFree{"/dev/video4", kLoopbackDriver, "Tavlomi", 0x04200002};
const VideoNode kTaken{"/dev/video5", kLoopbackDriver, "Tavlomi", 0x04200001};
const VideoNode kShared{"/dev/video6", kLoopbackDriver, "Dummy", 0x04200003};
const VideoNode kWebcam{"/dev/video0", "uvcvideo", "Integrated Camera", 0x04200001};
const VideoNode kCodec{"/dev/video9", "hantro-vpu", "hantro-vpu", 0x04208000};
constexpr const char* kNoDaemon = "no PipeWire daemon answers";

TEST(VirtualCameraPlan, RoutesFromTheCommandLineThePipeWireDaemonAndTheVideoNodes) {
    using K = VirtualCameraWhere::Kind;
    const auto same = [](const std::string& path) -> std::optional<std::string> {
        return path == "/dev/v4l/by-id/loop" ? "/dev/video4" : path;
    };
    const struct {
        K kind;
        const char* asked;
        const char* pipewireProblem;
        std::vector<VideoNode> nodes;
        bool pipewire;
        const char *device, *where, *problemStart;
        bool fatal;
    } cases[] = {
        // clang-format off
        {K::Off, "", "", {kFree}, false, "", "", "", false},
        {K::Every, "", "", {kWebcam, kTaken, kCodec, kFree, kShared}, true, "/dev/video4",
         "PipeWire node \"Tavlomi\" and /dev/video4", "", false},
        {K::Every, "", kNoDaemon, {kShared}, false, "/dev/video6", "/dev/video6", "", false},
        {K::Every, "", "", {}, true, "", "PipeWire node \"Tavlomi\"", "", false},
        {K::Every, "", kNoDaemon, {kWebcam, kCodec, kTaken}, false, "", "",
         "no virtual camera: no PipeWire daemon answers and there is no v4l2loopback device; load "
         "one with 'sudo modprobe v4l2loopback exclusive_caps=1 card_label=Tavlomi', or run "
         "PipeWire", false},
        {K::PipeWire, "", "", {kFree}, true, "", "PipeWire node \"Tavlomi\"", "", true},
        {K::PipeWire, "", kNoDaemon, {kFree}, false, "", "",
         "no PipeWire virtual camera: no PipeWire daemon answers", true},
        {K::Device, "/dev/v4l/by-id/loop", "", {kFree}, false, "/dev/video4", "/dev/video4", "",
         true},
        {K::Device, "/dev/video7", "", {kFree}, false, "", "",
         "cannot send the virtual camera to /dev/video7: it is not a video device", true},
        {K::Device, "/dev/video0", "", {kWebcam}, false, "", "",
         "cannot send the virtual camera to /dev/video0: it is not a v4l2loopback device (its "
         "driver is uvcvideo)", true},
        {K::Device, "/dev/video5", "", {kTaken}, false, "", "",
         "cannot send the virtual camera to /dev/video5: it is a v4l2loopback device that "
         "another program writes", true}};
    // clang-format on
    for (const auto& c : cases) {
        const VirtualCameraPlan plan =
            planVirtualCamera({c.kind, c.asked}, 320, 240, c.pipewireProblem, c.nodes, same);
        EXPECT_EQ(plan.pipewire, c.pipewire) << c.where << c.problemStart;
        EXPECT_EQ(plan.device, c.device) << c.problemStart;
        EXPECT_EQ(plan.where(), c.where);
        EXPECT_TRUE(plan.problem.starts_with(c.problemStart) &&
                    plan.problem.empty() == (*c.problemStart == '\0'))
            << plan.problem;
        EXPECT_EQ(plan.fatal, c.fatal) << c.problemStart;
    }
}

TEST(VirtualCameraPlan, AnOddSideIsLeftOutAndSaidHow) {
    const struct {
        int w, h, outW, outH;
        std::string note;
    } cases[] = {
        {320, 240, 320, 240, ""},
        {321, 241, 320, 240,
         "the virtual camera sends 320 x 240: its format (YUY2) needs even sides, so the last "
         "column and row are left out of the 321 x 241 screen"},
        {3, 2, 2, 2,
         "the virtual camera sends 2 x 2: its format (YUY2) needs even sides, so the "
         "last column is left out of the 3 x 2 screen"},
        {2, 5, 2, 4,
         "the virtual camera sends 2 x 4: its format (YUY2) needs even sides, so the "
         "last row is left out of the 2 x 5 screen"},
        {1, 240, 0, 240, ""}};
    for (const auto& c : cases) {
        const VirtualCameraPlan plan =
            planVirtualCamera({VirtualCameraWhere::Kind::PipeWire, ""}, c.w, c.h, "", {},
                              [](const std::string& p) { return std::optional<std::string>(p); });
        EXPECT_EQ(plan.width, c.outW);
        EXPECT_EQ(plan.height, c.outH);
        EXPECT_EQ(plan.sizeNote, c.note);
        EXPECT_EQ(plan.any(), c.outW > 0) << plan.problem;
    }
}

TEST(NewestScreen, EachScreenIsTakenOnceAndOnlyTheNewest) {
    NewestScreen newest(2);
    std::vector<std::uint32_t> loop{1, 1}, output{0, 0}, wrong{9};
    EXPECT_FALSE(newest.take(output));
    EXPECT_TRUE(newest.put(loop));
    loop = {2, 2};
    EXPECT_TRUE(newest.put(loop));
    EXPECT_FALSE(newest.put(wrong));
    EXPECT_TRUE(newest.take(output));
    EXPECT_EQ(output, (std::vector<std::uint32_t>{2, 2}));
    EXPECT_FALSE(newest.take(output));
    EXPECT_EQ(loop.size(), 2u);
}

}  // namespace
}  // namespace tavlomi
