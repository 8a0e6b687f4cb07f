// libFuzzer target: random event sequences into the real frame loop (Toy and FrameLoop) on an
// in-memory display of 1 x 1 to 40 x 40, with a camera picture sequence chosen by the input.
//
// Input: width and height bytes, four pictures of two bytes each (pattern, parameter), then
// operations, one byte each plus operands: keys of every kind (Escape included), bursts of up to
// 256 '=' or '-' presses that take the threshold far below 0 and above 254, mouse presses,
// releases and drags to any coordinate 0..65535, raw key codes, quit and foreign events, and
// frames with a chosen picture or none new. Besides the sanitizers' checks, every frame must
// keep the toy consistent with a model: the loop ends exactly on Escape or quit, the threshold
// and effect follow the keys, the RgbGrid is the camera's picture mirrored, the mask marks
// exactly the cells whose luminance changed by more than the threshold, the ball stays in its
// bounds, effects write opaque words, the plain view shows the picture, and status lines have
// the "< text >" form.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <span>
#include <string_view>
#include <vector>

#include "app/frame_loop.hpp"
#include "app/toy.hpp"
#include "capture/frame_source.hpp"
#include "common/display.hpp"
#include "common/grid.hpp"
#include "common/input_event.hpp"
#include "common/screen.hpp"
#include "common/status_sink.hpp"
#include "common/text_canvas.hpp"

namespace {

using namespace tavlomi;

constexpr int kMaxSide = 40;
constexpr int kPictures = 4;
constexpr int kMaxFrames = 256;

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "frame_loop_fuzz: %s\n", what);
    std::abort();
}

// Reads the fuzz input front to back; past its end every byte is 0.
class InputBytes {
  public:
    explicit InputBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool empty() const { return bytes_.empty(); }
    std::uint8_t byte() {
        if (bytes_.empty()) return 0;
        const std::uint8_t value = bytes_[0];
        bytes_ = bytes_.subspan(1);
        return value;
    }
    int word() { return byte() << 8 | byte(); }

  private:
    std::span<const std::uint8_t> bytes_;
};

// The luminance weights as 32-bit floats, the sum in double precision, truncated.
int referenceLuminance(int r, int g, int b) {
    const double sum = static_cast<double>(r) * 0.212671f + static_cast<double>(g) * 0.71516f +
                       static_cast<double>(b) * 0.071169f;
    return static_cast<int>(sum);
}

class CheckingStatus final : public StatusSink {
  public:
    void print(std::string_view line) override {
        require(
            line.size() >= 5 && line.substr(0, 2) == "< " && line.substr(line.size() - 3) == " >\n",
            "a status line is not of the form '< text >'");
    }
};

// A camera showing one of four pictures made from the input, the one the next frame asks for.
class PictureCamera final : public FrameSource {
  public:
    PictureCamera(int width, int height, InputBytes& input)
        : black_(3 * static_cast<std::size_t>(width) * height, 0) {
        const std::size_t cells = static_cast<std::size_t>(width) * height;
        for (std::vector<std::uint8_t>& picture : pictures_) {
            const int pattern = input.byte() % 4;
            const int parameter = input.byte();
            picture.resize(3 * cells);
            std::uint32_t noise = 2463534242u + static_cast<std::uint32_t>(parameter);
            for (std::size_t i = 0; i < picture.size(); ++i) {
                const int x = static_cast<int>(i / 3 % static_cast<std::size_t>(width));
                const int y = static_cast<int>(i / 3 / static_cast<std::size_t>(width));
                noise ^= noise << 13;
                noise ^= noise >> 17;
                noise ^= noise << 5;
                switch (pattern) {
                    case 0:
                        picture[i] = static_cast<std::uint8_t>(parameter);
                        break;
                    case 1:
                        picture[i] = static_cast<std::uint8_t>(noise);
                        break;
                    case 2:
                        picture[i] = static_cast<std::uint8_t>(x * 255 / width + parameter);
                        break;
                    default:
                        picture[i] = ((x + y) / (1 + parameter % 8) % 2 != 0) ? 255 : 0;
                        break;
                }
            }
        }
    }

    void next(int picture, bool arrives) {
        next_ = static_cast<std::size_t>(picture);
        arrives_ = arrives;
    }

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override {
        const std::vector<std::uint8_t>& picture = pictures_[next_];
        require(frameBuffer.size() == picture.size(), "the frame buffer has the wrong size");
        if (!arrives_) return false;
        std::copy(picture.begin(), picture.end(), frameBuffer.begin());
        shown_ = &picture;
        return true;
    }

    // The frame the toy holds: the last picture delivered, black before the first.
    const std::vector<std::uint8_t>& shown() const { return shown_ != nullptr ? *shown_ : black_; }

  private:
    std::array<std::vector<std::uint8_t>, kPictures> pictures_;
    std::vector<std::uint8_t> black_;
    const std::vector<std::uint8_t>* shown_ = nullptr;
    std::size_t next_ = 0;
    bool arrives_ = true;
};

// Keeps the effect surface and the screen in memory; the screen clips like SDL_FillRect.
class MemoryDisplay final : public Display, private Screen, private TextCanvas {
  public:
    MemoryDisplay(int width, int height)
        : surface(static_cast<std::size_t>(width) * height, 0xFF000000u),
          width_(width),
          height_(height),
          screen_(surface.size(), 0) {}

    bool pollEvent(InputEvent& event) override {
        if (queue.empty()) return false;
        event = queue.front();
        queue.pop_front();
        return true;
    }
    void clearScreen() override { std::fill(screen_.begin(), screen_.end(), 0u); }
    std::span<std::uint32_t> lockEffectSurface() override {
        require(!locked_, "the effect surface was locked twice");
        locked_ = true;
        return surface;
    }
    void unlockEffectSurface() override {
        require(locked_, "the effect surface was unlocked without a lock");
        locked_ = false;
    }
    void blitEffectSurface() override {
        require(!locked_, "the effect surface was blitted while locked");
        std::copy(surface.begin(), surface.end(), screen_.begin());
    }
    Screen& screen() override { return *this; }
    TextCanvas& textCanvas() override { return *this; }
    void toggleFullScreen() override {}
    void present() override {}
    void pause(int) override {}

    std::deque<InputEvent> queue;
    std::vector<std::uint32_t> surface;

  private:
    // No overlay is shown in this target, so nothing is ever written as text.
    void shade(ScreenRect) override {}
    void drawText(int, int, std::string_view) override {}

    void fillRect(ScreenRect rect, std::uint32_t color) override {
        const int left = std::max<int>(rect.x, 0);
        const int top = std::max<int>(rect.y, 0);
        const int right = std::min<int>(rect.x + rect.w, width_);
        const int bottom = std::min<int>(rect.y + rect.h, height_);
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x)
                screen_[static_cast<std::size_t>(y) * width_ + x] = color;
        }
    }

    int width_;
    int height_;
    bool locked_ = false;
    std::vector<std::uint32_t> screen_;
};

// Escape, the threshold keys, every digit, space and 'f' twice each, then other SDL 1.2 codes up
// to the highest, 322, and two that SDL never sends.
constexpr std::array<int, 32> kKeys = {27, 61, 45,  270, 269, 48,  49,  50,  51, 52,  53,
                                       54, 55, 56,  57,  32,  102, 32,  102, 97, 122, 43,
                                       13, 8,  127, 273, 282, 300, 321, 322, 0,  -1};

// What the toy must do: Escape or quit ends the frame at once, threshold and effect keys act in
// queue order, and the mask compares each frame's luminance with the frame before.
struct Model {
    int threshold = Toy::kInitialThreshold;
    int effect = 0;
    std::vector<int> previousLuma;

    explicit Model(std::size_t cells) : previousLuma(cells, 0) {}

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
                const MemoryDisplay& display) {
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
    for (const std::uint32_t word : display.surface)
        require(word >> 24 == 0xFF, "an effect wrote a word that is not opaque");
    if (model.effect == 0) {
        for (std::size_t i = 0; i < cells; ++i) {
            require(display.surface[i] == pixelWord(rgb[i]),
                    "the plain view does not show the picture");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputBytes input(std::span<const std::uint8_t>(data, size));
    const int width = 1 + input.byte() % kMaxSide;
    const int height = 1 + input.byte() % kMaxSide;
    PictureCamera camera(width, height, input);
    CheckingStatus status;
    Toy toy(width, height, camera, status);
    MemoryDisplay display(width, height);
    FrameLoop loop(display, toy, 0);
    Model model(static_cast<std::size_t>(width) * height);

    const auto runFrames = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const bool continues = model.apply(display.queue);
            require(loop.runFrame() == continues, "the loop did not end exactly on Escape or quit");
            if (!continues) return false;
            checkFrame(toy, model, camera, display);
        }
        return true;
    };

    int frames = 0;
    while (!input.empty() && frames < kMaxFrames) {
        const std::uint8_t op = input.byte();
        switch (op >> 5) {
            case 0:
                display.queue.push_back({InputEvent::Type::KeyDown, kKeys[op & 31], 0, 0});
                break;
            case 1: {
                const int presses = 1 + input.byte();
                const bool up = (op & 1) != 0;
                const bool keypad = (op & 2) != 0;
                const int key = up ? (keypad ? keys::kKeypadPlus : keys::kEquals)
                                   : (keypad ? keys::kKeypadMinus : keys::kMinus);
                for (int i = 0; i < presses; ++i)
                    display.queue.push_back({InputEvent::Type::KeyDown, key, 0, 0});
                break;
            }
            case 2: {
                const InputEvent::Type type = (op & 3) == 0   ? InputEvent::Type::MouseButtonDown
                                              : (op & 3) == 1 ? InputEvent::Type::MouseButtonUp
                                                              : InputEvent::Type::MouseMotion;
                const int x = input.word();
                const int y = input.word();
                display.queue.push_back({type, 0, x, y});
                break;
            }
            case 3:
                display.queue.push_back({InputEvent::Type::KeyDown, input.word(), 0, 0});
                break;
            case 4:
                display.queue.push_back(
                    {(op & 1) != 0 ? InputEvent::Type::Quit : InputEvent::Type::Other, 0, 0, 0});
                break;
            case 5:
            case 6:
                camera.next(op & 3, (op & 4) == 0);
                ++frames;
                if (!runFrames(1)) return 0;
                break;
            default: {
                const int count = 1 + (op & 15);
                camera.next(op & 3, (op & 16) != 0);
                frames += count;
                if (!runFrames(count)) return 0;
                break;
            }
        }
    }
    runFrames(1);
    return 0;
}
