#pragma once

// One window-system event as input dispatch sees it; the SDL edge translates SDL's events into
// these. Key codes are SDL 1.2's; coordinates are window pixels, 0..65535.

namespace tavlomi {

struct InputEvent {
    enum class Type { Other, KeyDown, MouseMotion, MouseButtonDown, MouseButtonUp, Quit };
    Type type = Type::Other;
    int key = 0;
    int x = 0;
    int y = 0;
};

// SDL 1.2 key codes the shell and the effects act on.
namespace keys {
constexpr int kEscape = 27;
constexpr int kSpace = 32;
constexpr int kMinus = 45;
constexpr int kDigit0 = 48;
constexpr int kDigit1 = 49;
constexpr int kDigit3 = 51;
constexpr int kDigit9 = 57;
constexpr int kEquals = 61;
constexpr int kF = 102;
constexpr int kKeypadMinus = 269;
constexpr int kKeypadPlus = 270;
constexpr int kF1 = 282;
constexpr int kF11 = 292;
constexpr int kF12 = 293;
}  // namespace keys

}  // namespace tavlomi
