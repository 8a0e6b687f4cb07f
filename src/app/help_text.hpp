#pragma once

// The text of the F1 help: every key with what it does, then the current effect with its mode,
// the motion threshold and the virtual camera when it is on, broken into lines that fit the screen.

#include <string>
#include <string_view>
#include <vector>

#include "app/toy.hpp"

namespace tavlomi {

// The current effect and its mode, e.g. "2 water: follows the ball, frozen".
std::string effectDescription(const Toy& toy);

// Lines of at most columns characters (columns >= 1); virtualCamera says where the virtual
// camera sends the picture, empty while it is off.
std::vector<std::string> helpLines(const Toy& toy, int columns,
                                   std::string_view virtualCamera = {});

// text's words (split at spaces) joined by single spaces into lines of at most columns
// characters (columns >= 1), as many words on a line as fit; a word longer than a line is cut.
std::vector<std::string> wrapText(std::string_view text, int columns);

}  // namespace tavlomi
