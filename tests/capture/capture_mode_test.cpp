#include "capture/capture_mode.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace tavlomi {
namespace {

const StreamFormat kJpeg{"image/jpeg", ""};
const StreamFormat kYuy2{"video/x-raw", "YUY2"};
const StreamFormat kGray8{"video/x-raw", "GRAY8"};

CaptureMode mode(StreamFormat format, int width, int height, int num, int den = 1) {
    return {std::move(format), width, height, FrameRate{num, den}};
}

TEST(CaptureMode, GreyFormats) {
    for (const char* f : {"GRAY8", "GRAY16_LE", "GRAY10_LE32", "Y16", "Z16", "GREY", "Y8", "gray8"})
        EXPECT_TRUE(isGreyFormat(f)) << f;
    for (const char* f : {"YUY2", "NV12", "I420", "Y444", "Y41B", "Y42B", "YVYU", "BGR", ""})
        EXPECT_FALSE(isGreyFormat(f)) << f;
}

TEST(CaptureMode, TheModeNearestTheGridAtASmoothRate) {
    // A typical HD webcam: raw YUYV is slow above VGA, MJPEG gives 30 fps at every size.
    const std::vector<CaptureMode> webcam = {
        mode(kYuy2, 640, 480, 30),   mode(kYuy2, 1280, 720, 10), mode(kYuy2, 1920, 1080, 5),
        mode(kYuy2, 320, 240, 30),   mode(kJpeg, 640, 480, 30),  mode(kJpeg, 1280, 720, 30),
        mode(kJpeg, 1920, 1080, 30), mode(kJpeg, 320, 240, 30)};
    const std::vector<CaptureMode> vga = {mode(kYuy2, 320, 240, 30), mode(kYuy2, 640, 480, 30)};
    const auto yuy2 = [](int num, int den = 1) { return mode(kYuy2, 320, 240, num, den); };
    const struct {
        const char* what;
        int width, height;
        std::optional<std::size_t> chosen;
        std::vector<CaptureMode> modes;
    } cases[] = {
        // clang-format off
        {"raw at the grid size when smooth", 320, 240, 3, webcam},
        {"raw at VGA", 640, 480, 0, webcam},
        {"JPEG where raw is too slow", 1280, 720, 5, webcam},
        {"nearest: 80 + 60 against 240 + 180", 400, 300, 0, vga},
        {"a tie of 160 + 120: the larger", 480, 360, 1, vga},
        {"colour before grey", 320, 240, 1,
         {mode(kGray8, 320, 240, 30), mode(kYuy2, 1920, 1080, 30)}},
        {"smooth before near", 320, 240, 1, {yuy2(5), mode(kJpeg, 1280, 960, 15)}},
        {"30 from below", 320, 240, 2, {yuy2(60), yuy2(15), yuy2(30)}},
        {"the slower of two fast ones", 320, 240, 1, {yuy2(120), yuy2(50)}},
        {"29.97 over 25", 320, 240, 1, {yuy2(25), yuy2(30000, 1001)}},
        {"a full tie keeps the first", 320, 240, 0,
         {mode({"video/x-raw", "NV12"}, 320, 240, 30), yuy2(30)}},
        {"nothing decodable", 320, 240, std::nullopt,
         {mode({"video/x-bayer", "rggb"}, 320, 240, 30), mode({"video/x-h264", ""}, 320, 240, 30)}},
        {"no modes", 320, 240, std::nullopt, {}},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseCaptureMode(c.modes, c.width, c.height), c.chosen) << c.what;
    // wanted, min, max, step, nearest: 330 lies 10 from 320 and 6 from 336; 328 8 from either,
    // the smaller wins; 1936 is past 1930.
    const int sizes[][5] = {{320, 1, 1920, 1, 320},     {330, 16, 1920, 16, 336},
                            {328, 16, 1920, 16, 320},   {5000, 16, 1920, 16, 1920},
                            {5000, 16, 1930, 16, 1920}, {3, 16, 1920, 16, 16},
                            {7, 0, 100, 0, 7},          {100, 50, 40, 1, 50},
                            {320, 1, INT_MAX, 1, 320},  {INT_MAX, 1, INT_MAX, 2, INT_MAX}};
    for (auto [wanted, min, max, step, nearest] : sizes)
        EXPECT_EQ(nearestInRange(wanted, min, max, step), nearest)
            << wanted << " " << min << ".." << max;
    const FrameRate rates[][3] = {{{0, 1}, {60, 1}, {30, 1}},
                                  {{0, 1}, {15, 1}, {15, 1}},
                                  {{60, 1}, {120, 1}, {60, 1}},
                                  {{1, 1}, {30, 1}, {30, 1}},
                                  {{30000, 1001}, {30000, 1001}, {30000, 1001}}};
    for (auto [min, max, rate] : rates)
        EXPECT_EQ(rateInRange(min, max), rate) << min.num << ".." << max.num;
}

TEST(CaptureMode, OfferedCapsBecomeModes) {
    using Sizes = OfferedField<int, SizeRange>;
    using Rates = OfferedField<FrameRate, RateRange>;
    OfferedStream raw{"video/x-raw",
                      true,
                      std::vector<std::string>{"YUY2", "NV12"},
                      Sizes{{640, 320}, {}},
                      Sizes{{480}, {}},
                      Rates{{{30, 1}}, {}}};
    OfferedStream ranges{"video/x-raw",
                         true,
                         std::vector<std::string>{"YUY2"},
                         Sizes{{}, SizeRange{16, 1920, 16}},
                         Sizes{{}, SizeRange{1, 1080, 1}},
                         Rates{{}, RateRange{{0, 1}, {60, 1}}}};
    OfferedStream dmabuf = raw;
    dmabuf.systemMemory = false;
    const auto open = [](const char* mediaType) {
        OfferedStream stream;
        stream.mediaType = mediaType;
        return stream;
    };
    OfferedStream jpegNamed = open("image/jpeg");
    jpegNamed.formats = {"MJPG"};
    OfferedStream unreadWidth = raw;
    unreadWidth.width = Sizes{};
    const struct {
        const char* what;
        std::vector<OfferedStream> offered;
        std::vector<CaptureMode> modes;
    } cases[] = {
        {"formats, widths, heights, rates, the last varying fastest",
         {raw},
         {mode(kYuy2, 640, 480, 30), mode(kYuy2, 320, 480, 30),
          mode({"video/x-raw", "NV12"}, 640, 480, 30),
          mode({"video/x-raw", "NV12"}, 320, 480, 30)}},
        {"ranges give the values nearest the grid", {ranges}, {mode(kYuy2, 336, 240, 30)}},
        {"open fields: the grid's size, an unknown rate",
         {open("video/x-raw")},
         {mode({"video/x-raw", ""}, 330, 240, 0)}},
        {"JPEG names no format", {jpegNamed}, {mode(kJpeg, 330, 240, 0)}},
        {"only system memory, only raw or JPEG, nothing from an unread field",
         {dmabuf, open("video/x-h264"), unreadWidth},
         {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(offeredModes(c.offered, 330, 240), c.modes) << c.what;
}

TEST(CaptureMode, CapsTextAndDescription) {
    const struct {
        CaptureMode mode;
        const char* caps;
        const char* description;
    } cases[] = {
        {mode(kYuy2, 320, 240, 30),
         "video/x-raw,format=(string)YUY2,width=(int)320,height=(int)240,framerate=(fraction)30/1",
         "YUY2 320 x 240 at 30 fps"},
        {mode(kJpeg, 176, 144, 30000, 1001),
         "image/jpeg,width=(int)176,height=(int)144,framerate=(fraction)30000/1001",
         "image/jpeg 176 x 144 at 30000/1001 fps"},
        {mode({"video/x-raw", ""}, 64, 48, 0), "video/x-raw,width=(int)64,height=(int)48",
         "video/x-raw 64 x 48"},
        {mode(kYuy2, 64, 48, 30, 0), "video/x-raw,format=(string)YUY2,width=(int)64,height=(int)48",
         "YUY2 64 x 48"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(capsText(c.mode), c.caps);
        EXPECT_EQ(describeMode(c.mode), c.description);
    }
}

}  // namespace
}  // namespace tavlomi
