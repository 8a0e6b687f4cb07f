// The virtual camera's routes with sinks that stand in for a consumer: the exact YUY2 that goes
// out, its steady rate, a consumer that stalls, a route that fails and comes back. PipeWire and
// its consumers are tested end to end (tests/e2e/pipewire_test.sh).

#include "gst/gst_virtual_camera.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "common/portable_rand.hpp"
#include "support/gst_pipelines.hpp"
#include "support/recording_notices.hpp"
#include "support/scratch_folder.hpp"

namespace tavlomi {
namespace {

using namespace gst_testing;
using namespace std::chrono_literals;

GstVirtualCamera::RouteMaker launchRoute(const std::string& description) {
    return {
        "test sink", [description](std::string&) {
            return FloatingRef{gst_parse_bin_from_description(description.c_str(), TRUE, nullptr)};
        }};
}

// BT.601 with limited range, as the standard writes it for 0x00RRGGBB.
int bt601(std::uint32_t word, double r, double g, double b, double offset) {
    return static_cast<int>(std::lround(
        offset + (r * ((word >> 16) & 255) + g * ((word >> 8) & 255) + b * (word & 255)) / 255));
}

TEST(GstVirtualCamera, ScreensGoOutAsEvenSizedYuy2AtThirtyFramesASecond) {
    // 7 x 5 goes out as 6 x 4: each pixel's luma, and each pair's chroma from its left pixel,
    // within 1 of BT.601; the same screen again on every tick for a second.
    const ScratchFolder scratch;
    const std::string file = (scratch.path() / "out.yuy2").string();
    ensureGst();
    RecordingNotices notices;
    std::vector<std::string> failures;
    PortableRand random;
    std::vector<std::uint32_t> screen(7 * 5);
    for (std::uint32_t& word : screen)
        word = static_cast<std::uint32_t>(random.rand()) << 9 ^
               static_cast<std::uint32_t>(random.rand());
    const std::vector<std::uint32_t> sent = screen;
    auto camera = GstVirtualCamera::openRoutes({launchRoute("filesink location=" + file)},
                                               {7, 5, 6, 4}, notices, failures);
    ASSERT_NE(camera, nullptr) << failures.at(0);
    const auto start = Clock::now();
    camera->offer(screen);
    std::this_thread::sleep_for(1s);
    camera.reset();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string bytes = readFile(file);
    EXPECT_EQ(bytes.size() % 48, 0u);
    EXPECT_NEAR(bytes.size() / 48.0, 30 * seconds, 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t x = i / 2 % 6, y = i / 12 % 4;
        const std::uint32_t word = sent[y * 7 + (i % 2 == 0 ? x : x & ~std::size_t{1})];
        const int expected = i % 2 == 0   ? bt601(word, 65.481, 128.553, 24.966, 16)
                             : i % 4 == 1 ? bt601(word, -37.797, -74.203, 112, 128)
                                          : bt601(word, 112, -93.786, -18.214, 128);
        ASSERT_LE(std::abs(static_cast<std::uint8_t>(bytes[i]) - expected), 1) << "byte " << i;
    }
    EXPECT_TRUE(notices.texts.empty());
}

TEST(GstVirtualCamera, AStalledConsumerCostsTheLoopNothingAndAFailedRouteComesBack) {
    // A consumer that takes one frame a second; a route that fails after 5 frames and is
    // reopened; a route that cannot start at all.
    ensureGst();
    RecordingNotices notices;
    std::vector<std::string> failures;
    auto camera =
        GstVirtualCamera::openRoutes({launchRoute("identity sleep-time=1000000 ! fakesink"),
                                      launchRoute("identity error-after=5 ! fakesink"),
                                      launchRoute("filesink location=/nonexistent/out.yuy2")},
                                     {8, 6, 8, 6}, notices, failures);
    ASSERT_NE(camera, nullptr);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].starts_with("cannot send the virtual camera to test sink: "))
        << failures[0];
    EXPECT_EQ(camera->where(), "test sink and test sink");
    std::vector<std::uint32_t> screen(48, 0x00336699);
    Clock::duration longest{};
    for (const auto end = Clock::now() + 3500ms; Clock::now() < end;) {
        const auto before = Clock::now();
        camera->offer(screen);
        longest = std::max(longest, Clock::now() - before);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_LT(longest, 50ms);
    ASSERT_GE(notices.texts.size(), 2u);
    EXPECT_TRUE(notices.texts[0].starts_with("virtual camera test sink stopped: "));
    EXPECT_TRUE(notices.texts[0].ends_with("; trying again every 2 seconds"));
    EXPECT_EQ(notices.texts[1], "virtual camera test sink is back");
    EXPECT_TRUE(notices.allOnThisThread());
}

}  // namespace
}  // namespace tavlomi
