#include "app/event_script.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace tavlomi {
namespace {

using Type = InputEvent::Type;

TEST(EventScript, ParsesEveryKindInFileOrderUpToTheLastKeyCodeAndCoordinate) {
    const EventScript script = parseEventScript(
        "# a drag\n"
        "\n"
        "3 key 322\n"
        "3 down 10 20\n"
        "4 move 65535 21\r\n"
        "  5 up 12 22\n"
        "1 quit\n");
    ASSERT_EQ(script.error, "");
    const std::tuple<long long, Type, int, int, int> expected[] = {
        {3, Type::KeyDown, 322, 0, 0},
        {3, Type::MouseButtonDown, 0, 10, 20},
        {4, Type::MouseMotion, 0, 65535, 21},
        {5, Type::MouseButtonUp, 0, 12, 22},
        {1, Type::Quit, 0, 0, 0}};
    ASSERT_EQ(script.events.size(), std::size(expected));
    for (std::size_t i = 0; i < script.events.size(); ++i) {
        const auto& [frame, e] = script.events[i];
        EXPECT_EQ(std::tuple(frame, e.type, e.key, e.x, e.y), expected[i]) << i;
    }
}

TEST(EventScript, AMalformedLineIsNamedAndNoEventIsKept) {
    for (const char* bad :
         {"x key 61", "3 key", "3 key 61 62", "3 key abc", "3 key 0", "3 key 323", "3 down 1",
          "3 down 1 2 3", "3 move -1 2", "3 up 1 65536", "3 jump", "3 quit now", "-1 quit", "3"}) {
        const EventScript script = parseEventScript(std::string("0 quit\n") + bad + "\n");
        EXPECT_TRUE(script.error.starts_with("line 2: ")) << bad << ": " << script.error;
        EXPECT_TRUE(script.events.empty()) << bad;
    }
}

TEST(EventScript, AFrameTakesAtMost64Events) {
    std::string text;
    for (int i = 0; i < kMaxEventsPerFrame; ++i)
        text += "7 key 61\n";
    EXPECT_EQ(parseEventScript(text).error, "");
    EXPECT_TRUE(parseEventScript(text + "7 key 61\n").error.starts_with("line 65: more than 64"));
}

}  // namespace
}  // namespace tavlomi
