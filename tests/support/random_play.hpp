#pragma once

// Play for the frame loop decoded from a stream of bytes: a fuzzer's input, or a seeded
// generator's output. First four camera pictures (pattern and parameter), then steps of one byte
// each plus operands: keys of every kind (Escape included), bursts of up to 256 '=' or '-'
// presses that take the threshold far below 0 and above 254, mouse presses, releases and drags
// to any coordinate 0..65535, raw key codes, quit and foreign events, and runs of frames with a
// chosen picture or none new.

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "capture/frame_source.hpp"
#include "common/input_event.hpp"
#include "common/status_sink.hpp"

namespace tavlomi {

using NextByte = std::function<std::uint8_t()>;

// A camera showing one of four pictures made from the bytes, the one the next frames ask for.
class PictureCamera final : public FrameSource {
  public:
    PictureCamera(int width, int height, const NextByte& nextByte)
        : black_(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {
        for (std::vector<std::uint8_t>& picture : pictures_) {
            const int pattern = nextByte() % 4;
            const int parameter = nextByte();
            picture.resize(black_.size());
            std::uint32_t noise = 2463534242u + static_cast<std::uint32_t>(parameter);
            for (std::size_t i = 0; i < picture.size(); ++i) {
                const int x = static_cast<int>(i / 3 % static_cast<std::size_t>(width));
                const int y = static_cast<int>(i / 3 / static_cast<std::size_t>(width));
                noise ^= noise << 13;
                noise ^= noise >> 17;
                noise ^= noise << 5;
                const int value = pattern == 0   ? parameter
                                  : pattern == 1 ? static_cast<int>(noise & 0xFF)
                                  : pattern == 2 ? x * 255 / width + parameter
                                                 : ((x + y) / (1 + parameter % 8) % 2) * 255;
                picture[i] = static_cast<std::uint8_t>(value);
            }
        }
    }

    void next(int picture, bool arrives) {
        next_ = static_cast<std::size_t>(picture);
        arrives_ = arrives;
    }

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) override {
        if (!arrives_ || frameBuffer.size() != black_.size()) return false;
        shown_ = &pictures_[next_];
        std::copy(shown_->begin(), shown_->end(), frameBuffer.begin());
        return true;
    }

    // The frame the toy holds: the last picture delivered, black before the first.
    const std::vector<std::uint8_t>& shown() const { return shown_ != nullptr ? *shown_ : black_; }

  private:
    std::array<std::vector<std::uint8_t>, 4> pictures_;
    std::vector<std::uint8_t> black_;
    const std::vector<std::uint8_t>* shown_ = nullptr;
    std::size_t next_ = 0;
    bool arrives_ = true;
};

// Counts status lines and notes any that is not of the "< text >\n" form.
class StatusLineCheck final : public StatusSink {
  public:
    void print(std::string_view line) override {
        ++lines;
        malformed =
            malformed || line.size() < 5 || !line.starts_with("< ") || !line.ends_with(" >\n");
    }
    long long lines = 0;
    bool malformed = false;
};

class RandomPlay {
  public:
    // endless leaves out Escape and quit, so that the play never ends the loop, and keeps key
    // codes to SDL 1.2's 1..322, as a real window system's queue carries them.
    RandomPlay(NextByte nextByte, bool endless)
        : nextByte_(std::move(nextByte)), endless_(endless) {}

    // Decodes one step: appends its events to queue, or returns how many frames to run now,
    // having told camera what they see.
    int step(std::deque<InputEvent>& queue, PictureCamera& camera) {
        const std::uint8_t op = nextByte_();
        switch (op >> 5) {
            case 0:
                queue.push_back(keyDown(kKeys[op & 31]));
                return 0;
            case 1: {
                const bool up = (op & 1) != 0;
                const bool keypad = (op & 2) != 0;
                const int key = up ? (keypad ? keys::kKeypadPlus : keys::kEquals)
                                   : (keypad ? keys::kKeypadMinus : keys::kMinus);
                queue.insert(queue.end(), 1 + nextByte_(), keyDown(key));
                return 0;
            }
            case 2: {
                const int x = word();
                const int y = word();
                const InputEvent::Type type = (op & 3) == 0   ? InputEvent::Type::MouseButtonDown
                                              : (op & 3) == 1 ? InputEvent::Type::MouseButtonUp
                                                              : InputEvent::Type::MouseMotion;
                queue.push_back({type, 0, x, y});
                return 0;
            }
            case 3:
                queue.push_back(keyDown(word()));
                return 0;
            case 4:
                queue.push_back(
                    {(op & 1) != 0 && !endless_ ? InputEvent::Type::Quit : InputEvent::Type::Other,
                     0, 0, 0});
                return 0;
            case 5:
            case 6:
                camera.next(op & 3, (op & 4) == 0);
                return 1;
            default:
                camera.next(op & 3, (op & 16) != 0);
                return 1 + (op & 15);
        }
    }

  private:
    // Escape, the threshold keys, every digit, space and 'f' twice each, then other SDL 1.2 codes
    // up to the highest, 322, and two that SDL never sends.
    static constexpr std::array<int, 32> kKeys = {27, 61, 45,  270, 269, 48,  49,  50,  51, 52,  53,
                                                  54, 55, 56,  57,  32,  102, 32,  102, 97, 122, 43,
                                                  13, 8,  127, 273, 282, 300, 321, 322, 0,  -1};

    InputEvent keyDown(int key) const {
        if (endless_ && (key < 1 || key > 322)) key = 1 + (key & 0xFF);
        return {InputEvent::Type::KeyDown, endless_ && key == keys::kEscape ? keys::kF : key, 0, 0};
    }
    int word() {
        const int high = nextByte_();
        return high << 8 | nextByte_();
    }

    NextByte nextByte_;
    bool endless_;
};

}  // namespace tavlomi
