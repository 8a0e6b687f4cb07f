// libFuzzer target: random play (tests/support/random_play.hpp) through the real frame loop (Toy
// and FrameLoop) on an in-memory display of 1 x 1 to 40 x 40, the first two bytes choosing the
// size. Besides the sanitizers' checks, every frame must keep the toy consistent with a model:
// the loop ends exactly on Escape or quit, the threshold and effect follow the keys, the RgbGrid
// is the camera's picture mirrored, the mask marks exactly the cells whose luminance changed by
// more than the threshold, the ball stays in its bounds, effects write opaque words, the plain
// view shows the picture, and status lines have the "< text >" form.

#include <algorithm>
#include <cstdint>
#include <span>

#include "app/frame_loop.hpp"
#include "app/toy.hpp"
#include "support/fake_display.hpp"
#include "support/fuzz_checks.hpp"
#include "support/random_play.hpp"

namespace {

using namespace tavlomi;

constexpr int kMaxSide = 40;
constexpr int kMaxFrames = 256;

// What the toy must do: Escape or quit ends the frame at once, threshold and effect keys act in
// queue order, and the mask compares each frame's luminance with the frame before.
struct Model {
    int threshold = Toy::kInitialThreshold;
    int effect = 0;
    std::vector<int> previousLuma;

    // False when the queue ends the program.
    bool apply(const std::deque<InputEvent>& queue) {
        for (const InputEvent& event : queue) {
            if (event.type == InputEvent::Type::Quit) return false;
            if (event.type != InputEvent::Type::KeyDown) continue;
            const int key = event.key;
            if (key == keys::kEscape) return false;
            if (key == keys::kEquals || key == keys::kKeypadPlus) ++threshold;
            if (key == keys::kMinus || key == keys::kKeypadMinus) --threshold;
            if (key >= keys::kDigit1 && key <= keys::kDigit3) effect = key - keys::kDigit1;
        }
        return true;
    }
};

void checkFrame(const Toy& toy, Model& model, const PictureCamera& camera,
                const FakeDisplay& display, const StatusLineCheck& status) {
    require(!status.malformed, "a status line is not of the form '< text >'");
    require(toy.motionThreshold() == model.threshold, "the threshold does not follow the keys");
    require(toy.currentEffectIndex() == model.effect, "the effect does not follow the keys");
    const std::vector<std::uint8_t>& frame = camera.shown();
    const RgbGrid& rgb = toy.rgbGrid();
    const MotionMask& mask = toy.motionMask();
    const std::size_t cells = rgb.size();
    for (std::size_t k = 0; k < cells; ++k) {
        const std::size_t p = cells - 1 - k;
        const int b = frame[3 * p];
        const int g = frame[3 * p + 1];
        const int r = frame[3 * p + 2];
        require(rgb[k].r == r && rgb[k].g == g && rgb[k].b == b,
                "a cell is not the camera's pixel, mirrored");
        const int luma = referenceLuminance(r, g, b);
        const int change = luma - model.previousLuma[k];
        const bool moved = (change < 0 ? -change : change) > model.threshold;
        require(mask[k] == (moved ? 1 : 0), "a mask byte disagrees with the luminance change");
        model.previousLuma[k] = luma;
    }
    const Ball& ball = toy.ball();
    const float x = ball.position().x;
    const float y = ball.position().y;
    require(x <= ball.maxX() && (x >= ball.minX() || ball.minX() > ball.maxX()),
            "the ball left its bounds in x");
    require(y <= ball.maxY() && (y >= ball.minY() || ball.minY() > ball.maxY()),
            "the ball left its bounds in y");
    for (std::size_t i = 0; i < cells; ++i) {
        require(display.surface[i] >> 24 == 0xFF, "an effect wrote a word that is not opaque");
        require(model.effect != 0 || display.surface[i] == pixelWord(rgb[i]),
                "the plain view does not show the picture");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> input(data, size);
    // Past the input's end every byte is 0.
    const NextByte nextByte = [&input]() -> std::uint8_t {
        if (input.empty()) return 0;
        const std::uint8_t byte = input[0];
        input = input.subspan(1);
        return byte;
    };
    const int width = 1 + nextByte() % kMaxSide;
    const int height = 1 + nextByte() % kMaxSide;
    PictureCamera camera(width, height, nextByte);
    StatusLineCheck status;
    // Two threads: the grid loops split into bands as in the toy.
    Toy toy(width, height, camera, status, 2);
    FakeDisplay display(width, height);
    // Water never writes the last row and column: they keep what was there, opaque black here.
    std::fill(display.surface.begin(), display.surface.end(), 0xFF000000u);
    FrameLoop loop(display, toy, 0);
    Model model{Toy::kInitialThreshold, 0,
                std::vector<int>(static_cast<std::size_t>(width) * height)};
    RandomPlay play(nextByte, false);

    for (int frames = 0; frames < kMaxFrames;) {
        // One last frame once the input is used up.
        const int run = input.empty() ? 1 : play.step(display.queue, camera);
        for (int i = 0; i < run; ++i, ++frames) {
            const bool continues = model.apply(display.queue);
            display.calls.clear();
            require(loop.runFrame() == continues, "the loop did not end exactly on Escape or quit");
            if (!continues) return 0;
            checkFrame(toy, model, camera, display, status);
        }
        if (input.empty()) break;
    }
    return 0;
}
