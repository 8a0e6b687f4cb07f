#include "effects/show_motion.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavlomi {
namespace {

class RecordingStatus final : public StatusSink {
  public:
    void print(std::string_view line) override { text += line; }
    std::string text;
};

TEST(ShowMotion, PrintsItsStartupLine) {
    RecordingStatus status;
    const RgbGrid rgb(6);
    ShowMotion effect(3, 2, rgb, status);
    EXPECT_EQ(status.text, "< ShowMotion responding to Ball >\n");
}

TEST(ShowMotion, RendersEveryCellAsAnOpaqueWordAndIgnoresKeysAndTheBall) {
    RecordingStatus status;
    RgbGrid rgb(6);
    rgb[0] = makeRgbCell(200, 100, 50);
    rgb[4] = makeRgbCell(255, 255, 255);
    rgb[5] = makeRgbCell(1, 2, 3);
    ShowMotion effect(3, 2, rgb, status);
    effect.handleKey(32);
    effect.handleKey(102);
    effect.ballMoved(1, 1);
    effect.update();
    std::vector<std::uint32_t> pixels(6, 0x12345678);
    effect.render(pixels);
    EXPECT_EQ(pixels, (std::vector<std::uint32_t>{0xFFC86432, 0xFF000000, 0xFF000000, 0xFF000000,
                                                  0xFFFFFFFF, 0xFF010203}));
    EXPECT_EQ(status.text, "< ShowMotion responding to Ball >\n");
}

}  // namespace
}  // namespace tavlomi
