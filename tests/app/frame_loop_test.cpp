#include "app/frame_loop.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/status_overlay.hpp"
#include "app/toy.hpp"
#include "support/fake_display.hpp"
#include "support/recording_status.hpp"
#include "support/uniform_source.hpp"

namespace tavlomi {
namespace {

using Calls = std::vector<std::string>;
const Calls kPlainFrame{"clear", "lock", "unlock", "blit", "ball", "ball", "present"};

// The toy on a uniform grey camera and a fake display, status lines through an overlay whose
// clock the test moves.
struct LoopFixture {
    explicit LoopFixture(int size = 64, std::uint8_t grey = 0, int pause = 0)
        : source(grey),
          toy(size, size * 3 / 4, source, overlay),
          display(size, size * 3 / 4),
          loop(display, toy, pause) {}

    // Runs a frame with events queued; the calls from the ball's bars on.
    Calls frameAfterBall(std::vector<InputEvent> events) {
        display.queue.assign(events.begin(), events.end());
        display.calls.clear();
        EXPECT_TRUE(loop.runFrame());
        const auto last = std::find(display.calls.rbegin(), display.calls.rend(), "ball");
        return {last.base(), display.calls.end()};
    }

    RecordingStatus out;
    SteppedClock clock;
    StatusOverlay overlay{out, clock};
    UniformSource source;
    Toy toy;
    FakeDisplay display;
    FrameLoop loop;
};

TEST(FrameLoop, StartsWithTheThreeEffectLinesAndComposesEachFrameInOrder) {
    LoopFixture f(64, 100, 10);
    EXPECT_EQ(f.out.text(),
              "< ShowMotion responding to Ball >\n< Water Effect initialized >\n"
              "< Fire Effect innitialized >\n");
    ASSERT_TRUE(f.loop.runFrame());
    Calls expected = kPlainFrame;
    expected.push_back("pause 10");
    EXPECT_EQ(f.display.calls, expected);
    // The plain view shows the camera's grey in every word.
    EXPECT_EQ(std::count(f.display.surface.begin(), f.display.surface.end(), 0xFF646464u), 64 * 48);
}

TEST(FrameLoop, EscapeEndsTheFrameBeforeAnythingElse) {
    LoopFixture f;
    f.display.queue = {keyDown('='), keyDown(keys::kEscape), keyDown('=')};
    EXPECT_FALSE(f.loop.runFrame());
    EXPECT_TRUE(f.display.calls.empty());
    EXPECT_EQ(f.toy.motionThreshold(), 15);
    EXPECT_EQ(f.display.queue.size(), 1u);
}

TEST(FrameLoop, ThresholdKeysActBeforeTheSameFramesMotion) {
    // Grey 100 after the zero start: luminance 99 marks every cell at threshold 14, none at 99.
    LoopFixture f(40, 100);
    f.display.queue.assign(85, keyDown('='));
    ASSERT_TRUE(f.loop.runFrame());
    EXPECT_EQ(f.toy.motionThreshold(), 99);
    EXPECT_EQ(std::count(f.toy.motionMask().begin(), f.toy.motionMask().end(), 0), 40 * 30);
}

TEST(FrameLoop, ADragPlacesTheBallBeforeItsStepWithinItsBounds) {
    LoopFixture f(320);
    f.display.queue = {{InputEvent::Type::MouseButtonDown, 0, 100, 50}};
    ASSERT_TRUE(f.loop.runFrame());
    EXPECT_EQ(f.toy.ball().position().x, 100.0f);
    EXPECT_EQ(f.toy.ball().position().y, 50.0f);
    f.display.queue = {{InputEvent::Type::MouseMotion, 0, 0, 0}};
    ASSERT_TRUE(f.loop.runFrame());
    EXPECT_EQ(f.toy.ball().position().x, 16.0f);
    EXPECT_EQ(f.toy.ball().position().y, 16.0f);
}

TEST(FrameLoop, F11SwitchesTheDisplayAndALostDisplayEndsTheLoopAtOnce) {
    LoopFixture f;
    f.display.queue = {keyDown('2'), keyDown(keys::kF11), keyDown('f')};
    ASSERT_TRUE(f.loop.runFrame());
    EXPECT_EQ(f.display.calls.front(), "toggle full screen");
    EXPECT_TRUE(f.toy.waterEffect().frozen());
    EXPECT_FALSE(f.loop.displayLost());

    f.display.lostOnToggle = true;
    f.display.calls.clear();
    f.display.queue = {keyDown(keys::kF11), keyDown('f')};
    EXPECT_FALSE(f.loop.runFrame());
    EXPECT_TRUE(f.loop.displayLost());
    EXPECT_EQ(f.display.calls, Calls{"toggle full screen"});
    EXPECT_TRUE(f.toy.waterEffect().frozen());
}

TEST(FrameLoop, WithoutAnOverlayOrASnapshotHandlerF1AndF12DrawNothing) {
    LoopFixture f;
    EXPECT_EQ(f.frameAfterBall({keyDown(keys::kF1), keyDown(keys::kF12), keyDown('=')}),
              Calls{"present"});
    EXPECT_TRUE(f.loop.helpShown());
}

TEST(FrameLoop, F12RunsTheSnapshotOnceAndThePictureHandlerEveryFrameAfterTheBallBeforeTheOverlay) {
    LoopFixture f;
    f.loop.showOverlay(&f.overlay);
    f.loop.setSnapshotHandler([&] { f.display.calls.push_back("snapshot"); });
    f.loop.setPictureHandler([&] { f.display.calls.push_back("picture"); });
    const Calls withSnapshot = f.frameAfterBall({keyDown(keys::kF12)});
    ASSERT_GE(withSnapshot.size(), 3u);
    EXPECT_EQ(Calls(withSnapshot.begin(), withSnapshot.begin() + 2),
              (Calls{"snapshot", "picture"}));
    EXPECT_EQ(withSnapshot.back(), "present");
    const Calls next = f.frameAfterBall({});
    EXPECT_EQ(std::count(next.begin(), next.end(), "snapshot"), 0);
    EXPECT_EQ(next.front(), "picture");
}

TEST(FrameLoop, TheVisibleStatusLinesAndTheHelpAreDrawnAfterTheBall) {
    LoopFixture f(320);
    f.loop.showOverlay(&f.overlay);
    f.clock.advance(1000);
    EXPECT_EQ(
        f.frameAfterBall({keyDown('=')}),
        (Calls{"shade", "text < ShowMotion responding to Ball >", "shade",
               "text < Water Effect initialized >", "shade", "text < Fire Effect innitialized >",
               "shade", "text < Threshold is now: 15 >", "present"}));
    // F1 shows the help under the status lines, and hides it again.
    f.clock.advance(4000);
    const Calls shown = f.frameAfterBall({keyDown(keys::kF1), keyDown('3'), keyDown('-')});
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0], "shade");
    EXPECT_EQ(shown[1], "text Keys (F1 hides them)");
    const auto at = [&](const char* call) { return std::find(shown.begin(), shown.end(), call); };
    EXPECT_LT(at("text Effect         3 fire: follows the"), at("text Threshold      14"));
    EXPECT_LT(at("text Threshold      14"), at("text < Threshold is now: 14 >"));
    EXPECT_EQ(shown.back(), "present");
    f.clock.advance(5000);
    EXPECT_EQ(f.frameAfterBall({keyDown(keys::kF1)}), Calls{"present"});
}

}  // namespace
}  // namespace tavlomi
