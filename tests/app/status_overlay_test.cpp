#include "app/status_overlay.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/recording_status.hpp"

namespace tavlomi {
namespace {

using Lines = std::vector<std::string>;

TEST(StatusOverlay, PassesLinesOnAndShowsEachForTwoSecondsTheNewestFive) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    // At each time: what is printed (or, starting with '!', only shown), then what is visible.
    const struct {
        int at;
        std::string text;
        Lines visible;
    } steps[] = {
        {0, "", {}},
        {100, "< a >\n", {"< a >"}},
        {600, "< b >\n", {"< a >", "< b >"}},
        {2099, "", {"< a >", "< b >"}},
        {2100, "", {"< b >"}},
        {2100, "!Snapshot saved: /tmp/a.png", {"< b >", "Snapshot saved: /tmp/a.png"}},
        {2600, "< b >\n", {"Snapshot saved: /tmp/a.png", "< b >"}},
        {3000, "< b >\n", {"Snapshot saved: /tmp/a.png", "< b >", "< b >"}},
        {4100, "< one >\n\n< two >\n", {"< b >", "< b >", "< one >", "< two >"}},
        {4100, "\n", {"< b >", "< b >", "< one >", "< two >"}},
        {4100, "< 3 >\n< 4 >\n< 5 >\n", {"< one >", "< two >", "< 3 >", "< 4 >", "< 5 >"}},
        {6100, "< new >\n", {"< new >"}},
        {8100, "no newline", {"no newline"}},
    };
    for (const auto& step : steps) {
        clock.advance(step.at - clock.nowMilliseconds());
        if (step.text.starts_with("!")) {
            overlay.show(step.text.substr(1));
        } else if (!step.text.empty()) {
            overlay.print(step.text);
        }
        EXPECT_EQ(overlay.visibleLines(), step.visible) << "at " << step.at << ": " << step.text;
    }
    EXPECT_EQ(out.text(),
              "< a >\n< b >\n< b >\n< b >\n< one >\n\n< two >\n\n< 3 >\n< 4 >\n< 5 >\n< new >\nno "
              "newline");
}

}  // namespace
}  // namespace tavlomi
