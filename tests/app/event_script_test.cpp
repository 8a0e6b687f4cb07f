#include "app/event_script.hpp"

#include <gtest/gtest.h>

namespace tavlomi {
namespace {

TEST(EventScript, ParsesEveryKindInFileOrder) {
    const EventScript script = parseEventScript(
        "# a drag\n"
        "\n"
        "3 key 61\n"
        "3 down 10 20\n"
        "4 move 11 21\r\n"
        "  5 up 12 22\n"
        "1 quit\n");
    ASSERT_TRUE(script.error.empty()) << script.error;
    ASSERT_EQ(script.events.size(), 5u);
    EXPECT_EQ(script.events[0].frame, 3);
    EXPECT_EQ(script.events[0].event.type, InputEvent::Type::KeyDown);
    EXPECT_EQ(script.events[0].event.key, 61);
    EXPECT_EQ(script.events[1].event.type, InputEvent::Type::MouseButtonDown);
    EXPECT_EQ(script.events[1].event.x, 10);
    EXPECT_EQ(script.events[1].event.y, 20);
    EXPECT_EQ(script.events[2].event.type, InputEvent::Type::MouseMotion);
    EXPECT_EQ(script.events[3].frame, 5);
    EXPECT_EQ(script.events[3].event.type, InputEvent::Type::MouseButtonUp);
    EXPECT_EQ(script.events[4].frame, 1);
    EXPECT_EQ(script.events[4].event.type, InputEvent::Type::Quit);
}

TEST(EventScript, MalformedLinesNameTheLine) {
    for (const char* bad :
         {"x key 61", "3 key", "3 key 61 62", "3 key abc", "3 key 0", "3 key 400", "3 down 1",
          "3 down 1 2 3", "3 move -1 2", "3 up 1 70000", "3 jump", "3 quit now", "-1 quit", "3"}) {
        const EventScript script = parseEventScript(std::string("# ok\n") + bad + "\n");
        EXPECT_NE(script.error.find("line 2"), std::string::npos) << bad << ": " << script.error;
        EXPECT_TRUE(script.events.empty()) << bad;
    }
}

TEST(EventScript, TooManyEventsInOneFrameAreRefused) {
    std::string text;
    for (int i = 0; i <= kMaxEventsPerFrame; ++i)
        text += "7 key 61\n";
    EXPECT_FALSE(parseEventScript(text).error.empty());
    text = "";
    for (int i = 0; i < kMaxEventsPerFrame; ++i)
        text += "7 key 61\n";
    EXPECT_TRUE(parseEventScript(text).error.empty());
}

}  // namespace
}  // namespace tavlomi
