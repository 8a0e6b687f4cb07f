#pragma once

// Every key and mouse action the toy answers, as --help and the F1 help list them.

#include <array>
#include <string_view>

namespace tavlomi {

struct KeyHelp {
    std::string_view keys;
    std::string_view action;
};

// Actions of at most 24 characters where possible: the F1 help on a 320-pixel screen has room for
// that much beside the keys.
inline constexpr std::array<KeyHelp, 10> kKeyHelp{{
    {"1 2 3", "plain view, water, fire"},
    {"space", "water and fire: follow the ball or the motion"},
    {"f", "water: freeze or thaw; fire: switch palette"},
    {"= or keypad +", "less sensitive to motion"},
    {"- or keypad -", "more sensitive to motion"},
    {"mouse button", "drag the ball"},
    {"F1", "show or hide the keys"},
    {"F11", "window or full screen"},
    {"F12", "save a snapshot"},
    {"Escape", "quit"},
}};

}  // namespace tavlomi
