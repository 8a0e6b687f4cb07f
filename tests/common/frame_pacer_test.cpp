#include "common/frame_pacer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tavlomi {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

TEST(FramePacer, OneFramePerIntervalOfTheFrameRate) {
    // At 30 fps, 1/30 s is 33 333 333.3 ns: the interval changes just after it. Times that go
    // back never give an interval again; negative ones count as 0. Ten days at 240 fps would
    // overflow a product of nanoseconds and rate.
    const struct {
        int fps;
        std::vector<std::pair<nanoseconds, std::optional<std::int64_t>>> takes;
    } cases[] = {{30,
                  {{nanoseconds(0), 0},
                   {milliseconds(10), std::nullopt},
                   {nanoseconds(33'333'333), std::nullopt},
                   {nanoseconds(33'333'334), 1},
                   {milliseconds(100), 3},
                   {milliseconds(90), std::nullopt},
                   {milliseconds(140), 4}}},
                 {240,
                  {{nanoseconds(-5), 0},
                   {nanoseconds(-5), std::nullopt},
                   {std::chrono::hours(240), std::int64_t{240} * 3600 * 240}}}};
    for (const auto& c : cases) {
        FramePacer pacer(c.fps);
        for (const auto& [elapsed, interval] : c.takes)
            EXPECT_EQ(pacer.take(elapsed), interval) << c.fps << " fps at " << elapsed.count();
    }
}

}  // namespace
}  // namespace tavlomi
