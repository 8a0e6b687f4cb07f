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
    ASSERT_EQ(script.error, "");
    using Type = InputEvent::Type;
    const ScriptedEvent expected[] = {{3, {Type::KeyDown, 61, 0, 0}},
                                      {3, {Type::MouseButtonDown, 0, 10, 20}},
                                      {4, {Type::MouseMotion, 0, 11, 21}},
                                      {5, {Type::MouseButtonUp, 0, 12, 22}},
                                      {1, {Type::Quit, 0, 0, 0}}};
    ASSERT_EQ(script.events.size(), std::size(expected));
    for (std::size_t i = 0; i < script.events.size(); ++i) {
        const ScriptedEvent& e = script.events[i];
        EXPECT_EQ(e.frame, expected[i].frame) << i;
        EXPECT_EQ(e.event.type, expected[i].event.type) << i;
        EXPECT_EQ(e.event.key, expected[i].event.key) << i;
        EXPECT_EQ(e.event.x, expected[i].event.x) << i;
        EXPECT_EQ(e.event.y, expected[i].event.y) << i;
    }
}

TEST(EventScript, AMalformedLineIsNamedAndNoEventIsKept) {
    for (const char* bad :
         {"x key 61", "3 key", "3 key 61 62", "3 key abc", "3 key 0", "3 key 400", "3 down 1",
          "3 down 1 2 3", "3 move -1 2", "3 up 1 70000", "3 jump", "3 quit now", "-1 quit", "3"}) {
        const EventScript script = parseEventScript(std::string("0 quit\n") + bad + "\n");
        EXPECT_EQ(script.error.rfind("line 2: ", 0), 0u) << bad << ": " << script.error;
        EXPECT_TRUE(script.events.empty()) << bad;
    }
}

TEST(EventScript, AFrameTakesAtMost64Events) {
    std::string text;
    for (int i = 0; i < kMaxEventsPerFrame; ++i)
        text += "7 key 61\n";
    EXPECT_EQ(parseEventScript(text).error, "");
    EXPECT_EQ(parseEventScript(text + "7 key 61\n").error.rfind("line 65: more than 64", 0), 0u);
}

}  // namespace
}  // namespace tavlomi
