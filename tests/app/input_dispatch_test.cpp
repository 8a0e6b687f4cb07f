#include "app/input_dispatch.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavlomi {
namespace {

using Log = std::vector<std::string>;

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
    Log log;
};

InputEvent key(int code) {
    return {InputEvent::Type::KeyDown, code, 0, 0};
}
InputEvent mouse(InputEvent::Type type, int x, int y) {
    return {type, 0, x, y};
}
constexpr auto kDown = InputEvent::Type::MouseButtonDown;
constexpr auto kUp = InputEvent::Type::MouseButtonUp;
constexpr auto kMove = InputEvent::Type::MouseMotion;

TEST(InputDispatch, EventsBecomeCommandsInQueueOrderOrEndTheProgram) {
    const struct {
        const char* what;
        std::vector<InputEvent> events;
        Log log;
        InputDispatch::Outcome outcome = InputDispatch::Outcome::Continue;
    } cases[] = {
        {"threshold keys: '=' and keypad '+' raise, '-' and keypad '-' lower",
         {key(61), key(270), key(45), key(269)},
         {"up", "up", "down", "down"}},
        {"'1' to '3' choose an effect, '4' to '9' do nothing",
         {key(49), key(50), key(51), key(52), key(55), key(57)},
         {"select 0", "select 1", "select 2"}},
        // 281 is PageDown, 283 F2, 291 F10, 294 F13: beside the shell's keys but not theirs.
        {"every other key reaches the effect",
         {key(48), key(102), key(32), key(13), key(281), key(283), key(291), key(294)},
         {"key 48", "key 102", "key 32", "key 13", "key 281", "key 283", "key 291", "key 294"}},
        {"F1, F11 and F12 are the shell's, among the others in order",
         {key(102), key(282), key(61), key(292), key(293), key(282)},
         {"key 102", "help", "up", "full screen", "snapshot", "help"}},
        {"a press drags until the release; a wheel step is a press and a release",
         {mouse(kMove, 5, 5), mouse(kDown, 10, 20), mouse(kMove, 11, 21), mouse(kUp, 12, 22),
          mouse(kMove, 13, 23), mouse(kDown, 100, 50), mouse(kUp, 100, 50), mouse(kMove, 1, 1)},
         {"place 10,20", "place 11,21", "place 100,50"}},
        {"other events are ignored", {{InputEvent::Type::Other, 61, 1, 1}}, {}},
        {"Escape and quit end the program without a command",
         {key(27), {InputEvent::Type::Quit, 0, 0, 0}},
         {},
         InputDispatch::Outcome::Quit},
    };
    for (const auto& c : cases) {
        InputDispatch dispatch;
        RecordingTarget target;
        for (const InputEvent& event : c.events)
            EXPECT_EQ(dispatch.handle(event, target), c.outcome) << c.what;
        EXPECT_EQ(target.log, c.log) << c.what;
        EXPECT_FALSE(dispatch.dragging()) << c.what;
    }
}

}  // namespace
}  // namespace tavlomi
