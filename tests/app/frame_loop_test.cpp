#include "app/frame_loop.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

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
class FakeDisplay final : public Display, private Screen {
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
    void present() override { calls.push_back("present"); }
    void pause(int milliseconds) override {
        calls.push_back("pause " + std::to_string(milliseconds));
    }

    std::deque<InputEvent> queue;
    std::vector<std::string> calls;
    std::vector<std::uint32_t> surface;

  private:
    void fillRect(ScreenRect, std::uint32_t color) override {
        calls.push_back(color == 0xFFFF00FF ? "ball" : "fill");
    }
};

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

}  // namespace
}  // namespace tavlomi
