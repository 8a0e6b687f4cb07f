#include "app/input_dispatch.hpp"

namespace tavlomi {

InputDispatch::Outcome InputDispatch::handle(const InputEvent& event, InputTarget& toy) {
    switch (event.type) {
        case InputEvent::Type::KeyDown:
            return dispatchKey(event.key, toy);
        case InputEvent::Type::MouseMotion:
            if (dragging_) toy.placeBall(event.x, event.y);
            break;
        case InputEvent::Type::MouseButtonDown:
            dragging_ = true;
            toy.placeBall(event.x, event.y);
            break;
        case InputEvent::Type::MouseButtonUp:
            dragging_ = false;
            break;
        case InputEvent::Type::Quit:
            return Outcome::Quit;
        case InputEvent::Type::Other:
            break;
    }
    return Outcome::Continue;
}

InputDispatch::Outcome InputDispatch::dispatchKey(int key, InputTarget& toy) {
    if (key == keys::kEscape) return Outcome::Quit;
    if (key == keys::kEquals || key == keys::kKeypadPlus) {
        toy.adjustThreshold(true);
    } else if (key == keys::kMinus || key == keys::kKeypadMinus) {
        toy.adjustThreshold(false);
    } else if (key >= keys::kDigit1 && key <= keys::kDigit3) {
        toy.selectEffect(key - keys::kDigit1);
    } else if (key > keys::kDigit3 && key <= keys::kDigit9) {
        // '4' to '9' are reserved: they neither choose an effect nor reach the current one.
    } else if (key == keys::kF1) {
        toy.toggleHelp();
    } else if (key == keys::kF11) {
        toy.toggleFullScreen();
    } else if (key == keys::kF12) {
        toy.snapshot();
    } else {
        toy.passKey(key);
    }
    return Outcome::Continue;
}

}  // namespace tavlomi
