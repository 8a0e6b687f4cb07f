#include "capture/camera_choice.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace tavlomi {

namespace {

std::string lowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
    std::string where = device.node;
    if (!device.stack.empty()) where += (where.empty() ? "" : ", ") + device.stack;
    return std::to_string(index) + ": " + device.name + (where.empty() ? "" : " (" + where + ")");
}

// Lower is more direct.
int stackRank(const std::string& stack) {
    constexpr const char* kByDirectness[] = {"V4L2", "libcamera", "PipeWire"};
    int rank = 0;
    for (const char* name : kByDirectness) {
        if (stack == name) return rank;
        ++rank;
    }
    return rank;
}

// What names the camera below its stack; empty when nothing does.
std::string cameraKey(const CameraDevice& device) {
    if (!device.node.empty()) return "node " + device.node;
    if (!device.libcameraId.empty()) return "libcamera " + device.libcameraId;
    return {};
}

}  // namespace

CameraKind classifyCamera(const CameraDevice& device) {
    const std::uint32_t pictureBits = kV4l2VideoCapture | kV4l2VideoCaptureMplane;
    if (device.v4l2DeviceCaps != 0 && (device.v4l2DeviceCaps & pictureBits) == 0) {
        return CameraKind::NoPicture;
    }
    bool colour = false;
    bool grey = false;
    for (const StreamFormat& format : device.formats) {
        colour = colour || isColour(format);
        grey = grey || (format.mediaType == kRawVideo && isGreyFormat(format.format));
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

std::vector<std::size_t> distinctCameras(std::span<const CameraDevice> devices) {
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string key = cameraKey(devices[i]);
        bool shadowed = false;
        for (std::size_t j = 0; j < devices.size() && !key.empty() && !shadowed; ++j) {
            const int ours = stackRank(devices[i].stack);
            const int theirs = stackRank(devices[j].stack);
            shadowed = j != i && cameraKey(devices[j]) == key &&
                       (theirs < ours || (theirs == ours && j < i));
        }
        if (!shadowed) kept.push_back(i);
    }
    return kept;
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

std::string permissionDeniedText() {
    return "permission denied. Cameras are open to members of the 'video' group: add yourself "
           "with 'sudo usermod -aG video $USER', then log out and back in";
}

}  // namespace tavlomi
