#include "app/overlay_painter.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace tavlomi {
namespace {

// Records what is drawn where, one call after another: "shade X,Y WxH|text X,Y TEXT|".
class RecordingCanvas final : public TextCanvas {
  public:
    void shade(ScreenRect r) override {
        calls << "shade " << r.x << "," << r.y << " " << r.w << "x" << r.h << "|";
    }
    void drawText(int x, int y, std::string_view text) override {
        calls << "text " << x << "," << y << " " << text << "|";
    }
    std::ostringstream calls;
};

TEST(OverlayColumns, GlyphsThatFitBetweenTheInsets) {
    for (const auto& [width, columns] : {std::pair{320, 39}, {324, 40}, {64, 7}, {4, 1}, {1, 1}})
        EXPECT_EQ(overlayColumns(width), columns) << width;
}

TEST(OverlayPainter, StatusLinesStackUpFromTheBottomAndTheHelpDownFromTheTop) {
    // Rows are 10 pixels: text starts a row below a strip's top and two pixels in; a strip is the
    // text's width plus two pixels each side, within the screen. Lines are split at '|'.
    const struct {
        bool help;
        int width, height;
        const char* lines;
        const char* calls;
    } cases[] = {
        {false, 320, 240, "< Frozen >|< Threshold is now: 15 >",
         "shade 0,220 84x10|text 2,221 < Frozen >|"
         "shade 0,230 196x10|text 2,231 < Threshold is now: 15 >|"},
        {false, 64, 48, "< Threshold is now: 15 >",
         "shade 0,38 64x10|text 2,39 < Threshold is now: 15 >|"},
        // Strips would start at -15, -5 and 5: the first is wholly off the screen.
        {false, 64, 15, "a|b|c", "shade 0,-5 12x10|text 2,-4 b|shade 0,5 12x10|text 2,6 c|"},
        {true, 320, 240, "Keys||Effect 1 plain view",
         "shade 0,0 320x240|text 2,3 Keys|text 2,23 Effect 1 plain view|"},
        {true, 64, 20, "a|b|c", "shade 0,0 64x20|text 2,3 a|text 2,13 b|"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        std::istringstream split(c.lines);
        for (std::string line; std::getline(split, line, '|');)
            lines.push_back(line);
        RecordingCanvas canvas;
        if (c.help) {
            paintHelp(canvas, c.width, c.height, lines);
        } else {
            paintStatusLines(canvas, c.width, c.height, lines);
        }
        EXPECT_EQ(canvas.calls.str(), c.calls) << c.width << " x " << c.height;
    }
}

}  // namespace
}  // namespace tavlomi
