#include "app/frame_loop.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "app/status_overlay.hpp"
#include "app/toy.hpp"

namespace tavlomi {
namespace {

class RecordingStatus final : public StatusSink {
  public:
    void print(std::string_view line) override { text += line; }
    std::string text;
};

// A camera that shows one uniform grey picture from its first frame on.
class GreySource final : public FrameSource {
  public:
    explicit GreySource(std::uint8_t level) : level_(level) {}
    bool copyNewestFrame(std::span<std::uint8_t> frame) override {
        for (std::uint8_t& byte : frame)
            byte = level_;
        return true;
    }

  private:
    std::uint8_t level_;
};

// Records the display calls of each frame and keeps the effect surface and the screen.
class FakeDisplay final : public Display, private Screen, private TextCanvas {
  public:
    FakeDisplay(int width, int height)
        : surface(static_cast<std::size_t>(width * height), 0xDEADBEEF) {}

    bool pollEvent(InputEvent& event) override {
        if (queue.empty()) return false;
        event = queue.front();
        queue.pop_front();
        return true;
    }
    void clearScreen() override { calls.push_back("clear"); }
    std::span<std::uint32_t> lockEffectSurface() override {
        calls.push_back("lock");
        return surface;
    }
    void unlockEffectSurface() override { calls.push_back("unlock"); }
    void blitEffectSurface() override { calls.push_back("blit"); }
    Screen& screen() override { return *this; }
    TextCanvas& textCanvas() override { return *this; }
    void present() override { calls.push_back("present"); }
    void pause(int milliseconds) override {
        calls.push_back("pause " + std::to_string(milliseconds));
    }
    void toggleFullScreen() override { calls.push_back("toggle full screen"); }

    std::deque<InputEvent> queue;
    std::vector<std::string> calls;
    std::vector<std::uint32_t> surface;

  private:
    void fillRect(ScreenRect, std::uint32_t color) override {
        calls.push_back(color == 0xFFFF00FF ? "ball" : "fill");
    }
    void shade(ScreenRect) override { calls.push_back("shade"); }
    void drawText(int, int, std::string_view text) override {
        calls.push_back("text " + std::string(text));
    }
};

InputEvent keyDown(int code) {
    return {InputEvent::Type::KeyDown, code, 0, 0};
}

// The calls of the last frame, from the ball's bars to present.
std::vector<std::string> afterBall(const std::vector<std::string>& calls) {
    std::size_t last = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] == "ball") last = i;
    }
    return {calls.begin() + static_cast<std::ptrdiff_t>(last) + 1, calls.end()};
}

TEST(FrameLoop, StartupPrintsTheThreeEffectLinesInOrder) {
    RecordingStatus status;
    GreySource source(0);
    Toy toy(64, 48, source, status);
    EXPECT_EQ(status.text,
              "< ShowMotion responding to Ball >\n< Water Effect initialized >\n"
              "< Fire Effect innitialized >\n");
}

TEST(FrameLoop, OneFrameComposesInOrderAndPauses) {
    RecordingStatus status;
    GreySource source(100);
    Toy toy(64, 48, source, status);
    FakeDisplay display(64, 48);
    FrameLoop loop(display, toy, 10);
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(display.calls, (std::vector<std::string>{"clear", "lock", "unlock", "blit", "ball",
                                                       "ball", "present", "pause 10"}));
    // The plain view shows the camera's grey in every word.
    for (std::uint32_t word : display.surface)
        ASSERT_EQ(word, 0xFF646464u);
}

TEST(FrameLoop, EscapeEndsTheFrameBeforeAnythingElse) {
    RecordingStatus status;
    GreySource source(100);
    Toy toy(64, 48, source, status);
    FakeDisplay display(64, 48);
    FrameLoop loop(display, toy, 0);
    display.queue = {{InputEvent::Type::KeyDown, 61, 0, 0},
                     {InputEvent::Type::KeyDown, 27, 0, 0},
                     {InputEvent::Type::KeyDown, 61, 0, 0}};
    EXPECT_FALSE(loop.runFrame());
    EXPECT_TRUE(display.calls.empty());
    EXPECT_EQ(toy.motionThreshold(), 15);
    EXPECT_EQ(display.queue.size(), 1u);
}

TEST(FrameLoop, ThresholdChangeTakesEffectInTheSameFrame) {
    // Grey 100 against the zero previous frame: luminance 99 marks every cell at threshold 14,
    // but none once the threshold is 99 or more.
    RecordingStatus status;
    GreySource source(100);
    Toy toy(40, 40, source, status);
    FakeDisplay display(40, 40);
    FrameLoop loop(display, toy, 0);
    for (int i = 0; i < 85; ++i)
        display.queue.push_back({InputEvent::Type::KeyDown, 61, 0, 0});
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(toy.motionThreshold(), 99);
    for (std::uint8_t cell : toy.motionMask())
        ASSERT_EQ(cell, 0);
}

TEST(FrameLoop, DraggingMovesTheBallBeforeItsStep) {
    RecordingStatus status;
    GreySource source(0);
    Toy toy(320, 240, source, status);
    FakeDisplay display(320, 240);
    FrameLoop loop(display, toy, 0);
    display.queue = {{InputEvent::Type::MouseButtonDown, 0, 100, 50}};
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(toy.ball().position().x, 100.0f);
    EXPECT_EQ(toy.ball().position().y, 50.0f);
    display.queue = {{InputEvent::Type::MouseMotion, 0, 0, 0}};
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(toy.ball().position().x, 16.0f);
    EXPECT_EQ(toy.ball().position().y, 16.0f);
}

TEST(FrameLoopShell, F11SwitchesTheDisplayAndTheEffectNeverSeesIt) {
    RecordingStatus status;
    GreySource source(0);
    Toy toy(64, 48, source, status);
    FakeDisplay display(64, 48);
    FrameLoop loop(display, toy, 0);
    display.queue = {keyDown('2'), keyDown(292)};
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(display.calls.front(), "toggle full screen");
    // Water would answer 'f' with a status line; F11 produces none.
    EXPECT_EQ(status.text.find("Frozen"), std::string::npos);
    EXPECT_FALSE(toy.waterEffect().frozen());
}

TEST(FrameLoopShell, F12RunsTheSnapshotAfterTheBallAndBeforeTheOverlay) {
    RecordingStatus stdoutText;
    SteppedClock clock;
    StatusOverlay overlay(stdoutText, clock);
    GreySource source(0);
    Toy toy(64, 48, source, overlay);
    FakeDisplay display(64, 48);
    FrameLoop loop(display, toy, 0);
    loop.showOverlay(&overlay);
    int taken = 0;
    loop.setSnapshotHandler([&] {
        ++taken;
        display.calls.push_back("snapshot");
    });
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(taken, 0);
    display.calls.clear();
    display.queue = {keyDown(293)};
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(taken, 1);
    const std::vector<std::string> tail = afterBall(display.calls);
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail.front(), "snapshot");
    EXPECT_EQ(tail.back(), "present");
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(taken, 1);
}

TEST(FrameLoopShell, F12WithoutAHandlerDoesNothing) {
    RecordingStatus status;
    GreySource source(0);
    Toy toy(64, 48, source, status);
    FakeDisplay display(64, 48);
    FrameLoop loop(display, toy, 0);
    display.queue = {keyDown(293)};
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(display.calls, (std::vector<std::string>{"clear", "lock", "unlock", "blit", "ball",
                                                       "ball", "present"}));
}

TEST(FrameLoopShell, WithoutAnOverlayNothingIsWrittenOverTheBall) {
    RecordingStatus status;
    GreySource source(0);
    Toy toy(64, 48, source, status);
    FakeDisplay display(64, 48);
    FrameLoop loop(display, toy, 0);
    display.queue = {keyDown(282), keyDown(61)};
    ASSERT_TRUE(loop.runFrame());
    EXPECT_TRUE(loop.helpShown());
    EXPECT_EQ(display.calls, (std::vector<std::string>{"clear", "lock", "unlock", "blit", "ball",
                                                       "ball", "present"}));
}

TEST(FrameLoopShell, StatusLinesAreDrawnAfterTheBallUntilTheyExpire) {
    RecordingStatus stdoutText;
    SteppedClock clock;
    StatusOverlay overlay(stdoutText, clock);
    GreySource source(0);
    Toy toy(320, 240, source, overlay);
    FakeDisplay display(320, 240);
    FrameLoop loop(display, toy, 0);
    loop.showOverlay(&overlay);
    clock.advance(1000);
    display.queue = {keyDown(61)};
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(afterBall(display.calls),
              (std::vector<std::string>{"shade", "text < ShowMotion responding to Ball >", "shade",
                                        "text < Water Effect initialized >", "shade",
                                        "text < Fire Effect innitialized >", "shade",
                                        "text < Threshold is now: 15 >", "present"}));
    // The start-up lines were printed at 0 and go at 2000; the threshold line stays to 3000.
    clock.advance(1000);
    display.calls.clear();
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(afterBall(display.calls),
              (std::vector<std::string>{"shade", "text < Threshold is now: 15 >", "present"}));
    clock.advance(1000);
    display.calls.clear();
    ASSERT_TRUE(loop.runFrame());
    EXPECT_EQ(afterBall(display.calls), (std::vector<std::string>{"present"}));
    EXPECT_EQ(stdoutText.text,
              "< ShowMotion responding to Ball >\n< Water Effect initialized >\n"
              "< Fire Effect innitialized >\n< Threshold is now: 15 >\n");
}

TEST(FrameLoopShell, F1ShowsTheHelpUnderTheStatusLinesAndHidesItAgain) {
    RecordingStatus stdoutText;
    SteppedClock clock;
    StatusOverlay overlay(stdoutText, clock);
    GreySource source(0);
    Toy toy(320, 240, source, overlay);
    FakeDisplay display(320, 240);
    FrameLoop loop(display, toy, 0);
    loop.showOverlay(&overlay);
    clock.advance(5000);
    display.queue = {keyDown(282), keyDown('3'), keyDown('-')};
    ASSERT_TRUE(loop.runFrame());
    EXPECT_TRUE(loop.helpShown());
    std::vector<std::string> tail = afterBall(display.calls);
    ASSERT_GE(tail.size(), 4u);
    EXPECT_EQ(tail[0], "shade");
    EXPECT_EQ(tail[1], "text Keys (F1 hides them)");
    const auto at = [&](const std::string& call) {
        return std::find(tail.begin(), tail.end(), call) - tail.begin();
    };
    const auto effect = at("text Effect         3 fire: follows the");
    const auto threshold = at("text Threshold      13");
    const auto status = at("text < Threshold is now: 13 >");
    EXPECT_LT(effect, threshold);
    EXPECT_LT(threshold, status);
    EXPECT_LT(status, static_cast<std::ptrdiff_t>(tail.size()));
    EXPECT_EQ(tail.back(), "present");

    display.calls.clear();
    display.queue = {keyDown(282)};
    clock.advance(5000);
    ASSERT_TRUE(loop.runFrame());
    EXPECT_FALSE(loop.helpShown());
    EXPECT_EQ(afterBall(display.calls), (std::vector<std::string>{"present"}));
}

}  // namespace
}  // namespace tavlomi
