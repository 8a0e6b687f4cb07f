#include "app/overlay_painter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavlomi {
namespace {

// Records what is drawn where.
class RecordingCanvas final : public TextCanvas {
  public:
    void shade(ScreenRect r) override {
        calls.push_back("shade " + std::to_string(r.x) + "," + std::to_string(r.y) + " " +
                        std::to_string(r.w) + "x" + std::to_string(r.h));
    }
    void drawText(int x, int y, std::string_view text) override {
        calls.push_back("text " + std::to_string(x) + "," + std::to_string(y) + " " +
                        std::string(text));
    }
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST(OverlayColumns, GlyphsThatFitBetweenTheInsets) {
    EXPECT_EQ(overlayColumns(320), 39);  // (320 - 4) / 8
    EXPECT_EQ(overlayColumns(324), 40);
    EXPECT_EQ(overlayColumns(64), 7);
    EXPECT_EQ(overlayColumns(4), 1);
    EXPECT_EQ(overlayColumns(1), 1);
}

TEST(PaintStatusLines, StackUpFromTheBottomNewestLowestEachOnItsStrip) {
    RecordingCanvas canvas;
    const std::vector<std::string> lines{"< Frozen >", "< Threshold is now: 15 >"};
    paintStatusLines(canvas, 320, 240, lines);
    // Strips are 10 rows: 220..229 and 230..239; text starts a row below a strip's top and two
    // pixels in; a strip is the text's width plus two pixels each side.
    EXPECT_EQ(canvas.calls, (Calls{"shade 0,220 84x10", "text 2,221 < Frozen >",
                                   "shade 0,230 196x10", "text 2,231 < Threshold is now: 15 >"}));
}

TEST(PaintStatusLines, StripsStopAtTheScreensRightEdge) {
    RecordingCanvas canvas;
    const std::vector<std::string> lines{"< Threshold is now: 15 >"};
    paintStatusLines(canvas, 64, 48, lines);
    EXPECT_EQ(canvas.calls, (Calls{"shade 0,38 64x10", "text 2,39 < Threshold is now: 15 >"}));
}

TEST(PaintStatusLines, LinesAboveTheTopOfAShortScreenAreLeftOut) {
    RecordingCanvas canvas;
    const std::vector<std::string> lines{"a", "b", "c"};
    paintStatusLines(canvas, 64, 15, lines);
    // Strips would start at -15, -5 and 5: the first is wholly off the screen.
    EXPECT_EQ(canvas.calls,
              (Calls{"shade 0,-5 12x10", "text 2,-4 b", "shade 0,5 12x10", "text 2,6 c"}));
}

TEST(PaintStatusLines, NoLinesDrawNothing) {
    RecordingCanvas canvas;
    paintStatusLines(canvas, 320, 240, {});
    EXPECT_TRUE(canvas.calls.empty());
}

TEST(PaintHelp, DarkensTheWholeScreenThenWritesRowsFromTheTop) {
    RecordingCanvas canvas;
    const std::vector<std::string> lines{"Keys", "", "Effect 1 plain view"};
    paintHelp(canvas, 320, 240, lines);
    EXPECT_EQ(canvas.calls,
              (Calls{"shade 0,0 320x240", "text 2,3 Keys", "text 2,23 Effect 1 plain view"}));
}

TEST(PaintHelp, RowsBelowTheScreenAreLeftOut) {
    RecordingCanvas canvas;
    const std::vector<std::string> lines{"a", "b", "c"};
    paintHelp(canvas, 64, 20, lines);
    EXPECT_EQ(canvas.calls, (Calls{"shade 0,0 64x20", "text 2,3 a", "text 2,13 b"}));
}

}  // namespace
}  // namespace tavlomi
