#include "app/help_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/key_help.hpp"
#include "support/recording_status.hpp"
#include "support/uniform_source.hpp"

namespace tavlomi {
namespace {

using Lines = std::vector<std::string>;

struct ToyFixture {
    RecordingStatus status;
    UniformSource source{0};
    Toy toy{64, 48, source, status};
};

TEST(WrapText, FillsLinesGreedilyAtSpacesAndCutsWordsLongerThanALine) {
    const struct {
        const char* text;
        int columns;
        Lines lines;
    } cases[] = {
        {"drag the ball", 8, {"drag the", "ball"}},
        {"drag the ball", 7, {"drag", "the", "ball"}},
        {"  a   b  ", 10, {"a b"}},
        {"abcdefgh", 3, {"abc", "def", "gh"}},
        {"x abcdefg", 3, {"x", "abc", "def", "g"}},
        {"", 10, {""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrapText(c.text, c.columns), c.lines) << c.text << " in " << c.columns;
}

TEST(EffectDescription, FollowsTheKeysTheEffectsActOnEachKeepingItsModes) {
    ToyFixture f;
    const struct {
        int effect;
        int key;
        const char* description;
    } steps[] = {
        {0, 0, "1 plain view"},
        {1, 0, "2 water: follows the ball"},
        {1, 'f', "2 water: follows the ball, frozen"},
        {1, ' ', "2 water: follows the motion, frozen"},
        {1, 'f', "2 water: follows the motion"},
        {2, 0, "3 fire: follows the ball, fire palette"},
        {2, 'f', "3 fire: follows the ball, blue palette"},
        {2, ' ', "3 fire: follows the motion, blue palette"},
        {1, 0, "2 water: follows the motion"},
    };
    for (const auto& step : steps) {
        f.toy.selectEffect(step.effect);
        if (step.key != 0) f.toy.passKey(step.key);
        EXPECT_EQ(effectDescription(f.toy), step.description);
    }
}

TEST(HelpLines, KeysAndActionsShareLinesWhereTheyFitAndStackWhereNot) {
    ToyFixture f;
    const Lines wide = helpLines(f.toy, 39);
    ASSERT_GE(wide.size(), 4u);
    EXPECT_EQ(
        Lines(wide.begin(), wide.begin() + 4),
        (Lines{"Keys (F1 hides them)", "1 2 3          plain view, water, fire",
               "space          water and fire: follow", "               the ball or the motion"}));
    EXPECT_EQ(Lines(wide.end() - 3, wide.end()),
              (Lines{"", "Effect         1 plain view", "Threshold      14"}));
    // 36 columns is the narrowest that keeps a key and its action on one line.
    EXPECT_NE(helpLines(f.toy, 36).at(1), "1 2 3");
    EXPECT_EQ(helpLines(f.toy, 35).at(1), "1 2 3");
    const Lines narrow = helpLines(f.toy, 20);
    ASSERT_GE(narrow.size(), 4u);
    EXPECT_EQ(Lines(narrow.begin(), narrow.begin() + 4),
              (Lines{"Keys (F1 hides them)", "1 2 3", "  plain view, water,", "  fire"}));
    // Every key of the table, in order.
    std::size_t from = 1;
    for (const KeyHelp& entry : kKeyHelp) {
        while (from < wide.size() && !wide[from].starts_with(std::string(entry.keys) + "  "))
            ++from;
        EXPECT_LT(from, wide.size()) << entry.keys;
    }
}

TEST(HelpLines, ALongModeWrapsUnderTheActionColumnAndTheThresholdMayBeNegative) {
    ToyFixture f;
    f.toy.selectEffect(2);
    f.toy.passKey('f');
    for (int i = 0; i < 16; ++i)
        f.toy.adjustThreshold(false);
    const Lines lines = helpLines(f.toy, 39);
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
              (Lines{"Effect         3 fire: follows the", "               ball, blue palette",
                     "Threshold      -2"}));
    EXPECT_EQ(helpLines(f.toy, 20).back(), "  -2");
    const Lines out = helpLines(f.toy, 39, "/dev/video4");
    EXPECT_EQ(Lines(out.end() - 2, out.end()),
              (Lines{"Camera out     virtual camera on:", "               /dev/video4"}));
}

TEST(HelpLines, EveryWidthKeepsItsLinesAndTheDefaultSizeLeavesRoomForFiveStatusLines) {
    ToyFixture f;
    for (int effect = 0; effect < 3; ++effect) {
        f.toy.selectEffect(effect);
        f.toy.passKey('f');
        // 240 rows: the help starts at row 3, five status lines take the bottom 50, rows are 10.
        EXPECT_LE(helpLines(f.toy, 39).size(), 18u) << effect;
        for (int columns = 1; columns <= 60; ++columns) {
            for (const std::string& line : helpLines(f.toy, columns))
                ASSERT_LE(line.size(), static_cast<std::size_t>(columns)) << line;
        }
    }
}

}  // namespace
}  // namespace tavlomi
