#include "capture/camera_choice.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "common/int_math.hpp"

namespace tavlomi {

namespace {

std::string lowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

std::string upperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// "IR" as a word of its own ("Integrated IR Camera") or "infrared" anywhere in the name.
bool nameSaysInfrared(std::string_view name) {
    const std::string lower = lowerCase(name);
    if (lower.find("infrared") != std::string::npos) return true;
    std::size_t start = 0;
    while (start < lower.size()) {
        std::size_t end = start;
        while (end < lower.size() && std::isalnum(static_cast<unsigned char>(lower[end])))
            ++end;
        if (lower.compare(start, end - start, "ir") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

bool isRaw(const StreamFormat& format) {
    return format.mediaType == "video/x-raw";
}

bool isJpeg(const StreamFormat& format) {
    return format.mediaType == "image/jpeg";
}

bool isColour(const StreamFormat& format) {
    return isJpeg(format) || (isRaw(format) && !isGreyFormat(format.format));
}

const char* kindText(CameraKind kind) {
    switch (kind) {
        case CameraKind::Colour:
            return "colour";
        case CameraKind::Monochrome:
            return "infrared, depth or grey only";
        case CameraKind::NoPicture:
            return "no picture (metadata or an unknown format)";
    }
    return "";
}

std::string indexedLabel(std::size_t index, const CameraDevice& device) {
    std::string text = std::to_string(index) + ": " + device.name;
    if (!device.node.empty()) text += " (" + device.node + ")";
    return text;
}

// A rate with a positive denominator; anything else counts as unknown.
bool rateKnown(FrameRate rate) {
    return rate.den > 0 && rate.num > 0;
}

// a < b for known rates, exactly.
bool rateBelow(FrameRate a, FrameRate b) {
    return static_cast<long long>(a.num) * b.den < static_cast<long long>(b.num) * a.den;
}

constexpr FrameRate kWantedRate{kWantedFps, 1};
constexpr FrameRate kSmoothRate{kSmoothFps, 1};

bool smooth(FrameRate rate) {
    return !rateKnown(rate) || !rateBelow(rate, kSmoothRate);
}

// An unknown rate is taken to be the wanted one.
FrameRate cappedRate(FrameRate rate) {
    if (!rateKnown(rate) || !rateBelow(rate, kWantedRate)) return kWantedRate;
    return rate;
}

FrameRate actualRate(FrameRate rate) {
    return rateKnown(rate) ? rate : kWantedRate;
}

long long sizeDistance(const CaptureMode& mode, int gridWidth, int gridHeight) {
    const long long dw = static_cast<long long>(mode.width) - gridWidth;
    const long long dh = static_cast<long long>(mode.height) - gridHeight;
    return (dw < 0 ? -dw : dw) + (dh < 0 ? -dh : dh);
}

long long area(const CaptureMode& mode) {
    return static_cast<long long>(mode.width) * mode.height;
}

// Whether a is to be preferred over b; equal modes are not.
bool better(const CaptureMode& a, const CaptureMode& b, int gridWidth, int gridHeight) {
    if (isColour(a.format) != isColour(b.format)) return isColour(a.format);
    if (smooth(a.rate) != smooth(b.rate)) return smooth(a.rate);
    const long long distanceA = sizeDistance(a, gridWidth, gridHeight);
    const long long distanceB = sizeDistance(b, gridWidth, gridHeight);
    if (distanceA != distanceB) return distanceA < distanceB;
    if (area(a) != area(b)) return area(a) > area(b);
    const FrameRate cappedA = cappedRate(a.rate);
    const FrameRate cappedB = cappedRate(b.rate);
    if (rateBelow(cappedA, cappedB) || rateBelow(cappedB, cappedA)) {
        return rateBelow(cappedB, cappedA);
    }
    const FrameRate actualA = actualRate(a.rate);
    const FrameRate actualB = actualRate(b.rate);
    if (rateBelow(actualA, actualB) || rateBelow(actualB, actualA)) {
        return rateBelow(actualA, actualB);
    }
    if (isRaw(a.format) != isRaw(b.format)) return isRaw(a.format);
    return false;
}

}  // namespace

bool isGreyFormat(std::string_view format) {
    static constexpr std::array<std::string_view, 16> kGrey = {
        "GREY", "Y8",  "Y800", "Y10",  "Y12",  "Y14",  "Y16",  "Y16_BE",
        "Y16I", "Z16", "INVZ", "INZI", "INVI", "INVR", "INRI", "RELI"};
    const std::string upper = upperCase(format);
    if (upper.rfind("GRAY", 0) == 0) return true;
    return std::find(kGrey.begin(), kGrey.end(), upper) != kGrey.end();
}

CameraKind classifyCamera(const CameraDevice& device) {
    const std::uint32_t pictureBits = kV4l2VideoCapture | kV4l2VideoCaptureMplane;
    if (device.v4l2DeviceCaps != 0 && (device.v4l2DeviceCaps & pictureBits) == 0) {
        return CameraKind::NoPicture;
    }
    bool colour = false;
    bool grey = false;
    for (const StreamFormat& format : device.formats) {
        colour = colour || isColour(format);
        grey = grey || (isRaw(format) && isGreyFormat(format.format));
    }
    if (colour) return nameSaysInfrared(device.name) ? CameraKind::Monochrome : CameraKind::Colour;
    return grey ? CameraKind::Monochrome : CameraKind::NoPicture;
}

std::optional<std::size_t> defaultCameraIndex(std::span<const CameraDevice> devices) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (classifyCamera(devices[i]) == CameraKind::Colour) return i;
    }
    return std::nullopt;
}

std::string cameraLabel(const CameraDevice& device) {
    return device.node.empty() ? device.name : device.node;
}

std::string cameraListText(std::span<const CameraDevice> devices) {
    if (devices.empty()) return "No camera found.\n";
    const std::optional<std::size_t> chosen = defaultCameraIndex(devices);
    std::string text;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        text += indexedLabel(i, devices[i]) + "  " + kindText(classifyCamera(devices[i]));
        if (chosen == i) text += "  [default]";
        text += "\n";
        for (const std::string& link : devices[i].byIdPaths)
            text += "    " + link + "\n";
    }
    if (!chosen) {
        text +=
            "No colour camera: without --camera or --device the toy shows its built-in test "
            "scene.\n";
    }
    return text;
}

std::optional<std::string> resolveDevicePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (error) return std::nullopt;
    return target.string();
}

std::vector<std::string> linksTo(const std::string& node, const std::string& directory) {
    std::vector<std::string> links;
    const std::optional<std::string> target = resolveDevicePath(node);
    if (!target) return links;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (!it->is_symlink(ignored)) continue;
        const std::string link = it->path().string();
        if (resolveDevicePath(link) == target) links.push_back(link);
    }
    std::sort(links.begin(), links.end());
    return links;
}

DeviceChoice chooseDevice(const std::string& argument, std::span<const CameraDevice> devices,
                          const PathResolver& resolve) {
    DeviceChoice choice;
    if (argument.find('/') != std::string::npos) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const auto& links = devices[i].byIdPaths;
            if (devices[i].node == argument ||
                std::find(links.begin(), links.end(), argument) != links.end()) {
                choice.index = i;
                return choice;
            }
        }
        const std::optional<std::string> target = resolve(argument);
        if (!target) {
            choice.error = "there is no " + argument + " (see --list-cameras)";
            return choice;
        }
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].node.empty()) continue;
            if (devices[i].node == *target || resolve(devices[i].node) == target) {
                choice.index = i;
                return choice;
            }
        }
        choice.node = *target;
        return choice;
    }

    const std::string wanted = lowerCase(argument);
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (lowerCase(devices[i].name).find(wanted) != std::string::npos) matches.push_back(i);
    }
    if (matches.empty()) {
        choice.error = "no camera's name contains '" + argument + "'" +
                       (devices.empty() ? std::string(" (no camera found)")
                                        : std::string(" (see --list-cameras)"));
        return choice;
    }
    const auto narrow = [&matches](auto keep) {
        std::vector<std::size_t> kept;
        std::copy_if(matches.begin(), matches.end(), std::back_inserter(kept), keep);
        if (!kept.empty()) matches = kept;
    };
    if (matches.size() > 1) {
        narrow([&](std::size_t i) { return lowerCase(devices[i].name) == wanted; });
    }
    if (matches.size() > 1) {
        narrow([&](std::size_t i) { return classifyCamera(devices[i]) == CameraKind::Colour; });
    }
    if (matches.size() == 1) {
        choice.index = matches.front();
        return choice;
    }
    choice.error = "'" + argument + "' matches several cameras:";
    for (std::size_t i = 0; i < matches.size(); ++i) {
        choice.error += (i == 0 ? " " : ", ") + indexedLabel(matches[i], devices[matches[i]]);
    }
    choice.error += "; name one by its node or its /dev/v4l/by-id path";
    return choice;
}

std::optional<std::size_t> findReturningCamera(const CameraDevice& lost,
                                               std::span<const CameraDevice> devices) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        for (const std::string& link : lost.byIdPaths) {
            const auto& links = devices[i].byIdPaths;
            if (std::find(links.begin(), links.end(), link) != links.end()) return i;
        }
    }
    if (!lost.name.empty()) {
        const CameraKind kind = classifyCamera(lost);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].name == lost.name && devices[i].node == lost.node) return i;
        }
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].name == lost.name && classifyCamera(devices[i]) == kind) return i;
        }
    } else if (!lost.node.empty()) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].node == lost.node) return i;
        }
    }
    return defaultCameraIndex(devices);
}

std::optional<std::size_t> chooseCaptureMode(std::span<const CaptureMode> modes, int gridWidth,
                                             int gridHeight) {
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        if (!isRaw(modes[i].format) && !isJpeg(modes[i].format)) continue;
        if (!best || better(modes[i], modes[*best], gridWidth, gridHeight)) best = i;
    }
    return best;
}

int nearestInRange(int wanted, int min, int max, int step) {
    if (max < min) return min;
    const int stride = step < 1 ? 1 : step;
    // Sizes are never negative; from a non-negative min every difference below fits an int.
    const int low = min < 0 ? 0 : min;
    if (max < low) return min;
    const int value = clamp_to(wanted, low, max);
    const int lower = low + div_trunc(value - low, stride) * stride;
    const int pastLower = value - lower;
    if (max - lower < stride) return lower;
    return stride - pastLower < pastLower ? lower + stride : lower;
}

FrameRate rateInRange(FrameRate min, FrameRate max) {
    if (!rateKnown(max)) return max;
    if (rateBelow(max, kWantedRate)) return max;
    if (rateKnown(min) && rateBelow(kWantedRate, min)) return min;
    return kWantedRate;
}

std::string permissionDeniedText() {
    return "permission denied. Cameras are open to members of the 'video' group: add yourself "
           "with 'sudo usermod -aG video $USER', then log out and back in";
}

}  // namespace tavlomi
