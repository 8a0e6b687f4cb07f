#include "app/help_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/key_help.hpp"

namespace tavlomi {
namespace {

using Lines = std::vector<std::string>;

class SilentStatus final : public StatusSink {
  public:
    void print(std::string_view) override {}
};

class BlackSource final : public FrameSource {
  public:
    bool copyNewestFrame(std::span<std::uint8_t> frame) override {
        std::fill(frame.begin(), frame.end(), std::uint8_t{0});
        return true;
    }
};

struct ToyFixture {
    SilentStatus status;
    BlackSource source;
    Toy toy{64, 48, source, status};
};

TEST(WrapText, FillsLinesGreedilyAtSpaces) {
    EXPECT_EQ(wrapText("drag the ball", 20), (Lines{"drag the ball"}));
    EXPECT_EQ(wrapText("drag the ball", 8), (Lines{"drag the", "ball"}));
    EXPECT_EQ(wrapText("drag the ball", 7), (Lines{"drag", "the", "ball"}));
    // A line may end exactly at the limit.
    EXPECT_EQ(wrapText("ab cd ef", 5), (Lines{"ab cd", "ef"}));
}

TEST(WrapText, RunsOfSpacesBecomeOneAndEdgesAreTrimmed) {
    EXPECT_EQ(wrapText("  a   b  ", 10), (Lines{"a b"}));
}

TEST(WrapText, CutsWordsLongerThanALine) {
    EXPECT_EQ(wrapText("abcdefgh", 3), (Lines{"abc", "def", "gh"}));
    EXPECT_EQ(wrapText("x abcdefg", 3), (Lines{"x", "abc", "def", "g"}));
    EXPECT_EQ(wrapText("abc", 1), (Lines{"a", "b", "c"}));
}

TEST(WrapText, EmptyTextIsOneEmptyLine) {
    EXPECT_EQ(wrapText("", 10), (Lines{""}));
    EXPECT_EQ(wrapText("   ", 10), (Lines{""}));
}

TEST(EffectDescription, FollowsTheKeysTheEffectsActOn) {
    ToyFixture f;
    EXPECT_EQ(effectDescription(f.toy), "1 plain view");
    f.toy.selectEffect(1);
    EXPECT_EQ(effectDescription(f.toy), "2 water: follows the ball");
    f.toy.passKey('f');
    EXPECT_EQ(effectDescription(f.toy), "2 water: follows the ball, frozen");
    f.toy.passKey(' ');
    EXPECT_EQ(effectDescription(f.toy), "2 water: follows the motion, frozen");
    f.toy.passKey('f');
    EXPECT_EQ(effectDescription(f.toy), "2 water: follows the motion");
    f.toy.selectEffect(2);
    EXPECT_EQ(effectDescription(f.toy), "3 fire: follows the ball, fire palette");
    f.toy.passKey('f');
    EXPECT_EQ(effectDescription(f.toy), "3 fire: follows the ball, blue palette");
    f.toy.passKey(' ');
    EXPECT_EQ(effectDescription(f.toy), "3 fire: follows the motion, blue palette");
    // Water kept its own modes while fire was current.
    f.toy.selectEffect(1);
    EXPECT_EQ(effectDescription(f.toy), "2 water: follows the motion");
}

TEST(HelpLines, At39ColumnsKeysAndActionsShareLinesInTwoColumns) {
    ToyFixture f;
    const Lines lines = helpLines(f.toy, 39);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Keys (F1 hides them)");
    EXPECT_EQ(lines[1], "1 2 3          plain view, water, fire");
    EXPECT_EQ(lines[2], "space          water and fire: follow");
    EXPECT_EQ(lines[3], "               the ball or the motion");
    EXPECT_EQ(lines[lines.size() - 3], "");
    EXPECT_EQ(lines[lines.size() - 2], "Effect         1 plain view");
    EXPECT_EQ(lines.back(), "Threshold      14");
    for (const std::string& line : lines)
        EXPECT_LE(line.size(), 39u) << line;
}

TEST(HelpLines, ListEveryKeyOfTheTableInOrder) {
    ToyFixture f;
    const Lines lines = helpLines(f.toy, 39);
    std::size_t from = 1;
    for (const KeyHelp& entry : kKeyHelp) {
        bool found = false;
        for (; from < lines.size() && !found; ++from)
            found = lines[from].starts_with(std::string(entry.keys) + "  ");
        EXPECT_TRUE(found) << entry.keys;
    }
}

TEST(HelpLines, NarrowScreensStackTheActionUnderItsKey) {
    ToyFixture f;
    const Lines lines = helpLines(f.toy, 20);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Keys (F1 hides them)");
    EXPECT_EQ(lines[1], "1 2 3");
    EXPECT_EQ(lines[2], "  plain view, water,");
    EXPECT_EQ(lines[3], "  fire");
    for (const std::string& line : lines)
        EXPECT_LE(line.size(), 20u) << line;
}

TEST(HelpLines, ALongModeWrapsUnderTheActionColumn) {
    ToyFixture f;
    f.toy.selectEffect(2);
    f.toy.passKey('f');
    const Lines lines = helpLines(f.toy, 39);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Effect         3 fire: follows the");
    EXPECT_EQ(lines[lines.size() - 2], "               ball, blue palette");
    EXPECT_EQ(lines.back(), "Threshold      14");
}

TEST(HelpLines, AtTheDefaultSizeTheHelpLeavesRoomForFiveStatusLines) {
    // 240 rows: the help starts at row 3, five status lines take the bottom 50, rows are 10.
    ToyFixture f;
    for (int effect = 0; effect < 3; ++effect) {
        f.toy.selectEffect(effect);
        for (int key : {0, int{'f'}, int{' '}}) {
            if (key != 0) f.toy.passKey(key);
            EXPECT_LE(helpLines(f.toy, 39).size(), 18u) << effect << " " << key;
        }
    }
}

TEST(HelpLines, ShowTheThresholdAsItIsNowEvenBelowZero) {
    ToyFixture f;
    for (int i = 0; i < 16; ++i)
        f.toy.adjustThreshold(false);
    EXPECT_EQ(helpLines(f.toy, 39).back(), "Threshold      -2");
    EXPECT_EQ(helpLines(f.toy, 20).back(), "  -2");
}

TEST(HelpLines, EveryWidthDownToOneColumnStaysWithinIt) {
    ToyFixture f;
    f.toy.selectEffect(2);
    for (int columns = 1; columns <= 60; ++columns) {
        const Lines lines = helpLines(f.toy, columns);
        ASSERT_FALSE(lines.empty());
        for (const std::string& line : lines)
            ASSERT_LE(line.size(), static_cast<std::size_t>(columns)) << columns << ": " << line;
    }
}

}  // namespace
}  // namespace tavlomi
