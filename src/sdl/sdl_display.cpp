#include "sdl/sdl_display.hpp"

#include <SDL.h>
#include <SDL_gfxPrimitives.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/window_zoom.hpp"

namespace tavlomi {

namespace {
constexpr Uint32 kRedMask = 0x00FF0000;
constexpr Uint32 kGreenMask = 0x0000FF00;
constexpr Uint32 kBlueMask = 0x000000FF;
constexpr Uint32 kWindowFlags = SDL_HWSURFACE;
constexpr Uint32 kFullScreenFlags = SDL_HWSURFACE | SDL_DOUBLEBUF | SDL_FULLSCREEN;
// sdl12-compat reads these when the video mode is set.
constexpr const char* kWindowScalingVariable = "SDL12COMPAT_WINDOW_SCALING";
constexpr const char* kScaleMethodVariable = "SDL12COMPAT_SCALE_METHOD";
// Opacity of the black laid under overlay text: the picture keeps 96/256 of its brightness.
constexpr Uint8 kShadeAlpha = 160;

bool isStandardLayout(const SDL_PixelFormat* format) {
    return format->BitsPerPixel == 32 && format->Rmask == kRedMask && format->Gmask == kGreenMask &&
           format->Bmask == kBlueMask;
}

Sint16 toSint16(int value) {
    return static_cast<Sint16>(std::clamp(value, -32768, 32767));
}
}  // namespace

std::unique_ptr<SdlDisplay> SdlDisplay::open(int width, int height, bool fullscreen, int zoom,
                                             std::string& error) {
    // Grid cells stay sharp squares however large the window is.
    setenv(kScaleMethodVariable, "nearest", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        error = std::string("cannot open the display: ") + SDL_GetError();
        return nullptr;
    }
    // Without a desktop SDL falls back to drivers that show nothing; the toy would then run
    // unseen until killed. Only an explicit SDL_VIDEODRIVER (as the replay tool sets) asks
    // for that.
    char driver[64] = "";
    SDL_VideoDriverName(driver, sizeof driver);
    const std::string driverName = driver;
    const bool showsNothing = driverName == "offscreen" || driverName == "dummy";
    if (showsNothing && std::getenv("SDL_VIDEODRIVER") == nullptr) {
        error = "no display found: run it on a desktop (DISPLAY or WAYLAND_DISPLAY is not set)";
        SDL_Quit();
        return nullptr;
    }
    if (zoom == 0 && std::getenv(kWindowScalingVariable) == nullptr) {
        const SDL_VideoInfo* info = SDL_GetVideoInfo();
        zoom = info != nullptr ? chooseZoom(width, height, info->current_w, info->current_h)
                               : kMinZoom;
    }
    if (zoom != 0) setenv(kWindowScalingVariable, std::to_string(zoom).c_str(), 1);
    if (!fullscreen) SDL_WM_SetCaption("Tavlomi", "");
    SDL_Surface* screen =
        SDL_SetVideoMode(width, height, 32, fullscreen ? kFullScreenFlags : kWindowFlags);
    if (screen == nullptr) {
        error = "cannot open a " + std::to_string(width) + " x " + std::to_string(height) +
                (fullscreen ? " full screen" : " window") + ": " + SDL_GetError();
        SDL_Quit();
        return nullptr;
    }
    // The effect picture takes the screen's own layout when that is the one effects write;
    // otherwise the blit converts from 0x00RRGGBB.
    const SDL_PixelFormat* format = screen->format;
    const bool standard = isStandardLayout(format);
    SDL_Surface* effectSurface =
        SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 32, standard ? format->Rmask : kRedMask,
                             standard ? format->Gmask : kGreenMask,
                             standard ? format->Bmask : kBlueMask, standard ? format->Amask : 0);
    if (effectSurface == nullptr) {
        error = std::string("cannot create the effect surface: ") + SDL_GetError();
        SDL_Quit();
        return nullptr;
    }
    // Effects write the surface as one run of width * height words, rows back to back.
    if (effectSurface->pitch != 4 * width) {
        error = "cannot use the effect surface: its rows are " +
                std::to_string(effectSurface->pitch) + " bytes apart, not " +
                std::to_string(4 * width);
        SDL_FreeSurface(effectSurface);
        SDL_Quit();
        return nullptr;
    }
    return std::make_unique<SdlDisplay>(Key{}, screen, effectSurface, fullscreen, showsNothing);
}

SdlDisplay::SdlDisplay(Key, SDL_Surface* screen, SDL_Surface* effectSurface, bool fullscreen,
                       bool showsNothing)
    : screen_(screen),
      effectSurface_(effectSurface),
      fullscreen_(fullscreen),
      showsNothing_(showsNothing),
      standardLayout_(isStandardLayout(screen->format)) {}

SdlDisplay::~SdlDisplay() {
    // Also frees SDL_gfx's cached glyphs, which are SDL surfaces.
    gfxPrimitivesSetFont(nullptr, 0, 0);
    SDL_FreeSurface(effectSurface_);
    SDL_Quit();
}

bool SdlDisplay::adoptScreen() {
    screen_ = SDL_GetVideoSurface();
    if (screen_ == nullptr) {
        lossReason_ = std::string("lost the display: ") + SDL_GetError();
        return false;
    }
    fullscreen_ = (screen_->flags & SDL_FULLSCREEN) != 0;
    standardLayout_ = isStandardLayout(screen_->format);
    return true;
}

bool SdlDisplay::toggleFullScreen() {
    // A display that shows nothing (the replay tool's) has no full screen to go to; switching
    // would only make SDL scale an invisible desktop-sized picture every frame.
    if (showsNothing_) return true;
    const int width = effectSurface_->w;
    const int height = effectSurface_->h;
    const bool wasFullscreen = fullscreen_;
    if (SDL_WM_ToggleFullScreen(screen_) == 0) {
        // Where the window system cannot switch in place, set the mode anew; the effect surface
        // is ours and survives.
        if (SDL_SetVideoMode(width, height, 32, wasFullscreen ? kWindowFlags : kFullScreenFlags) ==
            nullptr) {
            SDL_SetVideoMode(width, height, 32, wasFullscreen ? kFullScreenFlags : kWindowFlags);
        }
    }
    if (!adoptScreen()) return false;
    if (!fullscreen_) SDL_WM_SetCaption("Tavlomi", "");
    return true;
}

bool SdlDisplay::pollEvent(InputEvent& event) {
    SDL_Event sdlEvent;
    if (SDL_PollEvent(&sdlEvent) == 0) return false;
    event = InputEvent{};
    switch (sdlEvent.type) {
        case SDL_KEYDOWN:
            event.type = InputEvent::Type::KeyDown;
            event.key = static_cast<int>(sdlEvent.key.keysym.sym);
            break;
        case SDL_MOUSEMOTION:
            event.type = InputEvent::Type::MouseMotion;
            event.x = sdlEvent.motion.x;
            event.y = sdlEvent.motion.y;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            event.type = sdlEvent.type == SDL_MOUSEBUTTONDOWN ? InputEvent::Type::MouseButtonDown
                                                              : InputEvent::Type::MouseButtonUp;
            event.x = sdlEvent.button.x;
            event.y = sdlEvent.button.y;
            break;
        case SDL_QUIT:
            event.type = InputEvent::Type::Quit;
            break;
        default:
            break;
    }
    return true;
}

bool SdlDisplay::pushEvent(const InputEvent& event) {
    SDL_Event sdlEvent;
    std::memset(&sdlEvent, 0, sizeof sdlEvent);
    switch (event.type) {
        case InputEvent::Type::KeyDown:
            sdlEvent.type = SDL_KEYDOWN;
            sdlEvent.key.state = SDL_PRESSED;
            sdlEvent.key.keysym.sym = static_cast<SDLKey>(event.key);
            break;
        case InputEvent::Type::MouseMotion:
            sdlEvent.type = SDL_MOUSEMOTION;
            sdlEvent.motion.x = static_cast<Uint16>(event.x);
            sdlEvent.motion.y = static_cast<Uint16>(event.y);
            break;
        case InputEvent::Type::MouseButtonDown:
        case InputEvent::Type::MouseButtonUp: {
            const bool down = event.type == InputEvent::Type::MouseButtonDown;
            sdlEvent.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
            sdlEvent.button.button = SDL_BUTTON_LEFT;
            sdlEvent.button.state = down ? SDL_PRESSED : SDL_RELEASED;
            sdlEvent.button.x = static_cast<Uint16>(event.x);
            sdlEvent.button.y = static_cast<Uint16>(event.y);
            break;
        }
        case InputEvent::Type::Quit:
            sdlEvent.type = SDL_QUIT;
            break;
        case InputEvent::Type::Other:
            return true;
    }
    return SDL_PushEvent(&sdlEvent) == 0;
}

void SdlDisplay::clearScreen() {
    // A blit that copies without blending or a colour key overwrites every pixel it covers, the
    // unscaled effect picture at the top-left corner; only the rest of the screen needs the black.
    if ((effectSurface_->flags & (SDL_SRCALPHA | SDL_SRCCOLORKEY)) != 0) {
        SDL_FillRect(screen_, nullptr, 0);
        return;
    }
    const int coveredWidth = std::min(effectSurface_->w, screen_->w);
    const int coveredHeight = std::min(effectSurface_->h, screen_->h);
    if (coveredWidth < screen_->w) {
        SDL_Rect right{static_cast<Sint16>(coveredWidth), 0,
                       static_cast<Uint16>(screen_->w - coveredWidth),
                       static_cast<Uint16>(screen_->h)};
        SDL_FillRect(screen_, &right, 0);
    }
    if (coveredHeight < screen_->h) {
        SDL_Rect below{0, static_cast<Sint16>(coveredHeight), static_cast<Uint16>(coveredWidth),
                       static_cast<Uint16>(screen_->h - coveredHeight)};
        SDL_FillRect(screen_, &below, 0);
    }
}

std::span<std::uint32_t> SdlDisplay::lockEffectSurface() {
    SDL_LockSurface(effectSurface_);
    // open() made sure that the rows are exactly width words, one after the other.
    return {
        static_cast<std::uint32_t*>(effectSurface_->pixels),
        static_cast<std::size_t>(effectSurface_->w) * static_cast<std::size_t>(effectSurface_->h)};
}

void SdlDisplay::unlockEffectSurface() {
    SDL_UnlockSurface(effectSurface_);
}

bool SdlDisplay::blitIsPlainCopy() const {
    const SDL_PixelFormat* from = effectSurface_->format;
    const SDL_PixelFormat* to = screen_->format;
    const SDL_Rect& clip = screen_->clip_rect;
    return (effectSurface_->flags & (SDL_SRCALPHA | SDL_SRCCOLORKEY)) == 0 &&
           from->BitsPerPixel == 32 && to->BitsPerPixel == 32 && from->Rmask == to->Rmask &&
           from->Gmask == to->Gmask && from->Bmask == to->Bmask && from->Amask == to->Amask &&
           clip.x == 0 && clip.y == 0 && clip.w == screen_->w && clip.h == screen_->h;
}

void SdlDisplay::blitEffectSurface(WorkerPool& pool) {
    if (blitIsPlainCopy()) {
        // What SDL's blit does between surfaces of one layout, a row at a time, here split into
        // bands of rows.
        const int rows = std::min(effectSurface_->h, screen_->h);
        const std::size_t rowBytes =
            4 * static_cast<std::size_t>(std::min(effectSurface_->w, screen_->w));
        if (SDL_MUSTLOCK(screen_)) SDL_LockSurface(screen_);
        const auto* from = static_cast<const std::uint8_t*>(effectSurface_->pixels);
        auto* to = static_cast<std::uint8_t*>(screen_->pixels);
        const std::ptrdiff_t fromPitch = effectSurface_->pitch;
        const std::ptrdiff_t toPitch = screen_->pitch;
        pool.forEachBand(allRows(rows), [&](RowBand band) {
            for (int y = band.rows.begin; y < band.rows.end; ++y)
                std::memcpy(to + y * toPitch, from + y * fromPitch, rowBytes);
        });
        if (SDL_MUSTLOCK(screen_)) SDL_UnlockSurface(screen_);
        return;
    }
    SDL_Rect source{0, 0, static_cast<Uint16>(effectSurface_->w),
                    static_cast<Uint16>(effectSurface_->h)};
    SDL_Rect destination{0, 0, static_cast<Uint16>(screen_->w), static_cast<Uint16>(screen_->h)};
    SDL_UpperBlit(effectSurface_, &source, screen_, &destination);
}

void SdlDisplay::fillRect(ScreenRect rect, std::uint32_t color) {
    SDL_Rect sdlRect{rect.x, rect.y, rect.w, rect.h};
    // The ball's raw colour is magenta in the 0x00RRGGBB layout; map it on any other.
    const Uint32 pixel = standardLayout_ ? color
                                         : SDL_MapRGB(screen_->format, (color >> 16) & 0xFF,
                                                      (color >> 8) & 0xFF, color & 0xFF);
    SDL_FillRect(screen_, &sdlRect, pixel);
}

void SdlDisplay::shade(ScreenRect rect) {
    if (rect.w == 0 || rect.h == 0) return;
    boxRGBA(screen_, rect.x, rect.y, toSint16(rect.x + rect.w - 1), toSint16(rect.y + rect.h - 1),
            0, 0, 0, kShadeAlpha);
}

void SdlDisplay::drawText(int x, int y, std::string_view text) {
    // SDL_gfx wants a terminated string; a NUL inside text ends it there.
    const std::string terminated(text);
    stringRGBA(screen_, toSint16(x), toSint16(y), terminated.c_str(), 255, 255, 255, 255);
}

void SdlDisplay::present() {
    SDL_UpdateRect(screen_, 0, 0, 0, 0);
    if (fullscreen_) SDL_Flip(screen_);
}

void SdlDisplay::pause(int milliseconds) {
    SDL_Delay(static_cast<Uint32>(milliseconds));
}

void SdlDisplay::copyScreen(std::vector<std::uint32_t>& words) {
    const int width = screen_->w;
    const int height = screen_->h;
    words.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    if (SDL_MUSTLOCK(screen_)) SDL_LockSurface(screen_);
    const auto* bytes = static_cast<const std::uint8_t*>(screen_->pixels);
    for (int y = 0; y < height; ++y) {
        std::memcpy(&words[static_cast<std::size_t>(y) * width], bytes + y * screen_->pitch,
                    static_cast<std::size_t>(width) * sizeof(std::uint32_t));
    }
    if (SDL_MUSTLOCK(screen_)) SDL_UnlockSurface(screen_);
}

}  // namespace tavlomi
