#include "app/input_dispatch.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavlomi {
namespace {

// Records the commands in the order they arrive.
class RecordingTarget final : public InputTarget {
  public:
    void adjustThreshold(bool up) override { log.push_back(up ? "up" : "down"); }
    void selectEffect(int index) override { log.push_back("select " + std::to_string(index)); }
    void passKey(int key) override { log.push_back("key " + std::to_string(key)); }
    void placeBall(int x, int y) override {
        log.push_back("place " + std::to_string(x) + "," + std::to_string(y));
    }
    void toggleHelp() override { log.push_back("help"); }
    void toggleFullScreen() override { log.push_back("full screen"); }
    void snapshot() override { log.push_back("snapshot"); }
    std::vector<std::string> log;
};

InputEvent key(int code) {
    return {InputEvent::Type::KeyDown, code, 0, 0};
}
InputEvent mouse(InputEvent::Type type, int x, int y) {
    return {type, 0, x, y};
}

using Outcome = InputDispatch::Outcome;

TEST(InputDispatchKeys, ThresholdKeys) {
    InputDispatch dispatch;
    RecordingTarget target;
    for (int code : {61, 270, 45, 269})
        EXPECT_EQ(dispatch.handle(key(code), target), Outcome::Continue);
    EXPECT_EQ(target.log, (std::vector<std::string>{"up", "up", "down", "down"}));
}

TEST(InputDispatchKeys, DigitsOneToThreeSelectAndFourToNineDoNothing) {
    InputDispatch dispatch;
    RecordingTarget target;
    for (int code = 49; code <= 57; ++code)
        dispatch.handle(key(code), target);
    EXPECT_EQ(target.log, (std::vector<std::string>{"select 0", "select 1", "select 2"}));
}

TEST(InputDispatchKeys, EveryOtherKeyReachesTheEffect) {
    InputDispatch dispatch;
    RecordingTarget target;
    // 281 is PageDown, 283 F2, 291 F10, 294 F13: next to the shell's keys but not theirs.
    for (int code : {48, 102, 32, 97, 43, 13, 281, 283, 291, 294, 300})
        dispatch.handle(key(code), target);
    EXPECT_EQ(target.log,
              (std::vector<std::string>{"key 48", "key 102", "key 32", "key 97", "key 43", "key 13",
                                        "key 281", "key 283", "key 291", "key 294", "key 300"}));
}

TEST(InputDispatchKeys, F1F11F12AreTheShellsAndNeverReachTheEffect) {
    InputDispatch dispatch;
    RecordingTarget target;
    for (int code : {282, 292, 293, 282})
        EXPECT_EQ(dispatch.handle(key(code), target), Outcome::Continue);
    EXPECT_EQ(target.log, (std::vector<std::string>{"help", "full screen", "snapshot", "help"}));
}

TEST(InputDispatchKeys, ShellKeysKeepTheQueueOrderWithOtherKeys) {
    InputDispatch dispatch;
    RecordingTarget target;
    for (int code : {102, 282, 61, 293, 32})
        dispatch.handle(key(code), target);
    EXPECT_EQ(target.log,
              (std::vector<std::string>{"key 102", "help", "up", "snapshot", "key 32"}));
}

TEST(InputDispatchKeys, EscapeAndQuitEndTheProgram) {
    InputDispatch dispatch;
    RecordingTarget target;
    EXPECT_EQ(dispatch.handle(key(27), target), Outcome::Quit);
    EXPECT_EQ(dispatch.handle({InputEvent::Type::Quit, 0, 0, 0}, target), Outcome::Quit);
    EXPECT_TRUE(target.log.empty());
}

TEST(InputDispatchMouse, PressDragsUntilRelease) {
    InputDispatch dispatch;
    RecordingTarget target;
    dispatch.handle(mouse(InputEvent::Type::MouseMotion, 5, 5), target);  // no button: ignored
    dispatch.handle(mouse(InputEvent::Type::MouseButtonDown, 10, 20), target);
    EXPECT_TRUE(dispatch.dragging());
    dispatch.handle(mouse(InputEvent::Type::MouseMotion, 11, 21), target);
    dispatch.handle(mouse(InputEvent::Type::MouseButtonUp, 12, 22), target);
    EXPECT_FALSE(dispatch.dragging());
    dispatch.handle(mouse(InputEvent::Type::MouseMotion, 13, 23), target);
    EXPECT_EQ(target.log, (std::vector<std::string>{"place 10,20", "place 11,21"}));
}

TEST(InputDispatchMouse, WheelStepPlacesAndEndsWithoutDragging) {
    // A wheel step arrives as a press and a release of button 4 or 5.
    InputDispatch dispatch;
    RecordingTarget target;
    dispatch.handle(mouse(InputEvent::Type::MouseButtonDown, 100, 50), target);
    dispatch.handle(mouse(InputEvent::Type::MouseButtonUp, 100, 50), target);
    EXPECT_FALSE(dispatch.dragging());
    EXPECT_EQ(target.log, (std::vector<std::string>{"place 100,50"}));
}

TEST(InputDispatchMouse, OtherEventsAreIgnored) {
    InputDispatch dispatch;
    RecordingTarget target;
    EXPECT_EQ(dispatch.handle({InputEvent::Type::Other, 61, 1, 1}, target), Outcome::Continue);
    EXPECT_TRUE(target.log.empty());
}

}  // namespace
}  // namespace tavlomi
