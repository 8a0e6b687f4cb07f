#include "app/status_overlay.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavlomi {
namespace {

class RecordingStatus final : public StatusSink {
  public:
    void print(std::string_view line) override { calls.emplace_back(line); }
    std::vector<std::string> calls;
};

using Lines = std::vector<std::string>;

TEST(StatusOverlay, PassesEveryLineOnUnchanged) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    overlay.print("< Frozen >\n");
    overlay.print("< Threshold is now: -3 >\n");
    overlay.print("no newline");
    EXPECT_EQ(out.calls, (Lines{"< Frozen >\n", "< Threshold is now: -3 >\n", "no newline"}));
}

TEST(StatusOverlay, ShowsLinesOldestFirstWithoutTheirNewline) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    EXPECT_TRUE(overlay.visibleLines().empty());
    overlay.print("< Frozen >\n");
    clock.advance(300);
    overlay.print("< Unfrozen >\n");
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< Frozen >", "< Unfrozen >"}));
}

TEST(StatusOverlay, ShownNoticesAreNotPassedOn) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    overlay.show("Snapshot saved: /tmp/a.png");
    overlay.print("< Frozen >\n");
    EXPECT_EQ(out.calls, (Lines{"< Frozen >\n"}));
    EXPECT_EQ(overlay.visibleLines(), (Lines{"Snapshot saved: /tmp/a.png", "< Frozen >"}));
    clock.advance(StatusOverlay::kLifetimeMilliseconds);
    EXPECT_TRUE(overlay.visibleLines().empty());
}

TEST(StatusOverlay, EachLineExpiresTwoSecondsAfterItWasPrinted) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    clock.advance(100);
    overlay.print("< a >\n");
    clock.advance(500);
    overlay.print("< b >\n");
    clock.advance(1499);  // 2099: a has 1 ms left
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< a >", "< b >"}));
    clock.advance(1);  // 2100
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< b >"}));
    clock.advance(499);  // 2599
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< b >"}));
    clock.advance(1);  // 2600
    EXPECT_TRUE(overlay.visibleLines().empty());
}

TEST(StatusOverlay, TheSameTextPrintedAgainIsShownAgainWithItsOwnTime) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    overlay.print("< Frozen >\n");
    clock.advance(1500);
    overlay.print("< Frozen >\n");
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< Frozen >", "< Frozen >"}));
    clock.advance(500);
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< Frozen >"}));
}

TEST(StatusOverlay, KeepsOnlyTheNewestFive) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    for (int i = 15; i <= 21; ++i)
        overlay.print("< Threshold is now: " + std::to_string(i) + " >\n");
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< Threshold is now: 17 >", "< Threshold is now: 18 >",
                                             "< Threshold is now: 19 >", "< Threshold is now: 20 >",
                                             "< Threshold is now: 21 >"}));
    EXPECT_EQ(out.calls.size(), 7u);
}

TEST(StatusOverlay, SeveralLinesInOneCallAreSeparateAndEmptyOnesAreSkipped) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    overlay.print("< one >\n\n< two >\n");
    overlay.print("\n");
    overlay.print("");
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< one >", "< two >"}));
}

TEST(StatusOverlay, ExpiredLinesMakeRoomBeforeTheLimitCounts) {
    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay(out, clock);
    for (int i = 0; i < 5; ++i)
        overlay.print("< old " + std::to_string(i) + " >\n");
    clock.advance(2000);
    overlay.print("< new >\n");
    EXPECT_EQ(overlay.visibleLines(), (Lines{"< new >"}));
}

TEST(SteppedClock, StartsAtZeroAndMovesOnlyWhenTold) {
    SteppedClock clock;
    EXPECT_EQ(clock.nowMilliseconds(), 0);
    clock.advance(10);
    clock.advance(10);
    EXPECT_EQ(clock.nowMilliseconds(), 20);
}

TEST(SteadyClock, NeverRunsBackwards) {
    SteadyClock clock;
    const std::int64_t first = clock.nowMilliseconds();
    EXPECT_GE(first, 0);
    EXPECT_GE(clock.nowMilliseconds(), first);
}

}  // namespace
}  // namespace tavlomi
