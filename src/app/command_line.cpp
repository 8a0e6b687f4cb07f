#include "app/command_line.hpp"

#include <algorithm>
#include <cctype>
#include <climits>
#include <optional>
#include <string_view>

#include "app/key_help.hpp"
#include "common/window_zoom.hpp"
#include "common/worker_pool.hpp"

namespace tavlomi {

namespace {

// A whole decimal integer as atoi reads one (leading blanks, optional sign), but with nothing
// after the digits and no overflow.
std::optional<long long> parseInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) return negative ? -value : value;  // out of range either way
    }
    return negative ? -value : value;
}

std::string checkSide(std::string_view name, const std::string& text, int& side) {
    const std::optional<long long> value = parseInteger(text);
    if (!value) return "the " + std::string(name) + " '" + text + "' is not a whole number";
    if (*value <= 0) return "the " + std::string(name) + " must be positive, not " + text;
    if (*value > kMaxSide) {
        return "the " + std::string(name) + " " + text + " is too large (at most " +
               std::to_string(kMaxSide) + ")";
    }
    side = static_cast<int>(*value);
    return {};
}

// The key table as --help shows it: keys, then the action from the 20th column on.
std::string keyLines() {
    constexpr std::size_t kKeyColumn = 19;
    std::string text;
    for (const KeyHelp& entry : kKeyHelp) {
        std::string keys = "  " + std::string(entry.keys);
        keys.resize(std::max(kKeyColumn, keys.size() + 1), ' ');
        text += keys + std::string(entry.action) + "\n";
    }
    return text;
}

bool hasRecordingSuffix(std::string_view path) {
    const auto endsWith = [&](std::string_view suffix) {
        if (path.size() <= suffix.size()) return false;
        const std::string_view tail = path.substr(path.size() - suffix.size());
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
        }
        return true;
    };
    return endsWith(".webm") || endsWith(".mp4");
}

// How an option that takes a value is written, e.g. "--camera=N"; empty for other names.
std::string_view valueForm(std::string_view name) {
    if (name == "--camera") return "--camera=N";
    if (name == "--device") return "--device=PATH";
    if (name == "--video") return "--video=FILE";
    if (name == "--zoom") return "--zoom=N";
    if (name == "--record") return "--record=FILE";
    if (name == "--threads") return "--threads=N";
    return {};
}

bool takesNoValue(std::string_view name) {
    return name == "--help" || name == "--version" || name == "--list-cameras" ||
           name == "--test-scene";
}

// --virtual-camera's WHERE: "pipewire", or a device path.
std::string parseVirtualCamera(const std::string& value, VirtualCameraWhere& where) {
    if (value == "pipewire") {
        where.kind = VirtualCameraWhere::Kind::PipeWire;
    } else if (value.starts_with("/")) {
        where.kind = VirtualCameraWhere::Kind::Device;
        where.device = value;
    } else {
        return "--virtual-camera takes 'pipewire' or a device path such as /dev/video4, not '" +
               value + "'";
    }
    return {};
}

std::string unknownOptionError(const std::string& arg) {
    const std::string name = arg.substr(0, arg.find('='));
    if (!valueForm(name).empty()) {
        return name + " takes its value after '=': " + std::string(valueForm(name));
    }
    if (takesNoValue(name)) return name + " takes no value";
    return "unknown option '" + arg + "' (see --help)";
}

bool takeValue(std::string_view arg, std::string_view option, std::string& value) {
    if (arg.substr(0, option.size()) != option) return false;
    value = std::string(arg.substr(option.size()));
    return true;
}

}  // namespace

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    CommandLine& cl = result.commandLine;
    std::vector<std::string> positional;
    int sourcesGiven = 0;

    for (const std::string& arg : args) {
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            positional.push_back(arg);
            continue;
        }
        std::string value;
        if (arg == "--help") {
            cl.action = Action::Help;
            return result;
        } else if (arg == "--version") {
            cl.action = Action::Version;
            return result;
        } else if (arg == "--list-cameras") {
            cl.action = Action::ListCameras;
        } else if (arg == "--test-scene") {
            cl.source = SourceKind::TestScene;
            ++sourcesGiven;
        } else if (arg == "--virtual-camera") {
            cl.virtualCamera.kind = VirtualCameraWhere::Kind::Every;
        } else if (takeValue(arg, "--virtual-camera=", value)) {
            result.error = parseVirtualCamera(value, cl.virtualCamera);
            if (!result.error.empty()) return result;
        } else if (takeValue(arg, "--camera=", value)) {
            const std::optional<long long> index = parseInteger(value);
            if (!index || *index < 0 || *index > INT_MAX) {
                result.error = "--camera takes a camera number (0, 1, ...), not '" + value + "'";
                return result;
            }
            cl.source = SourceKind::CameraIndex;
            cl.cameraIndex = static_cast<int>(*index);
            ++sourcesGiven;
        } else if (takeValue(arg, "--zoom=", value)) {
            const std::optional<long long> zoom = parseInteger(value);
            if (!zoom || *zoom < kMinZoom || *zoom > kMaxZoom) {
                result.error = "--zoom takes a whole number from " + std::to_string(kMinZoom) +
                               " to " + std::to_string(kMaxZoom) + ", not '" + value + "'";
                return result;
            }
            cl.zoom = static_cast<int>(*zoom);
        } else if (takeValue(arg, "--threads=", value)) {
            const std::optional<long long> threads = parseInteger(value);
            if (!threads || *threads < 1 || *threads > WorkerPool::kMaxThreads) {
                result.error = "--threads takes a whole number from 1 to " +
                               std::to_string(WorkerPool::kMaxThreads) + ", not '" + value + "'";
                return result;
            }
            cl.threads = static_cast<int>(*threads);
        } else if (takeValue(arg, "--record=", value)) {
            if (!hasRecordingSuffix(value)) {
                result.error =
                    "--record takes a file name ending in .webm or .mp4, not '" + value + "'";
                return result;
            }
            cl.recordPath = value;
        } else if (takeValue(arg, "--device=", value) || takeValue(arg, "--video=", value)) {
            const bool device = arg.compare(0, 9, "--device=") == 0;
            if (value.empty()) {
                result.error = std::string(device ? "--device" : "--video") + " needs a path";
                return result;
            }
            cl.source = device ? SourceKind::Device : SourceKind::VideoFile;
            cl.sourcePath = value;
            ++sourcesGiven;
        } else {
            result.error = unknownOptionError(arg);
            return result;
        }
    }
    if (sourcesGiven > 1) {
        result.error = "choose one picture source: --camera, --device, --video or --test-scene";
        return result;
    }

    if (!positional.empty()) {
        if (positional[0] == "fullscreen") {
            cl.fullscreen = true;
        } else if (positional[0] == "window") {
            cl.fullscreen = false;
        } else {
            cl.badFirstArgument = true;
        }
    }
    // Only exactly three positional arguments carry a size; any other count keeps 320 x 240.
    if (positional.size() == 3) {
        int width = 0;
        int height = 0;
        std::string error = checkSide("width", positional[1], width);
        if (error.empty()) error = checkSide("height", positional[2], height);
        if (!error.empty()) {
            result.error = error;
            return result;
        }
        cl.windowWidth = width;
        cl.windowHeight = height;
    } else if (positional.size() == 2) {
        cl.warnings.push_back("a size needs both width and height; '" + positional[1] +
                              "' ignored, using 320 x 240");
    } else if (positional.size() > 3) {
        cl.warnings.push_back("too many arguments; the size is ignored, using 320 x 240");
    }
    return result;
}

std::string usageText(const std::string& programName) {
    return "Usage: " + programName +
           " [fullscreen|window] [WIDTH HEIGHT] [OPTIONS]\n"
           "\n"
           "A camera toy: the live camera picture, mirrored, with a ball that motion pushes\n"
           "and three effects drawn from the picture. Full screen 320 x 240 by default.\n"
           "\n"
           "Picture source (the first camera when none is given; the built-in test scene when\n"
           "there is no camera):\n"
           "  --camera=N       the Nth camera of --list-cameras (0 is the first)\n"
           "  --device=PATH    a V4L2 device node (/dev/video2), a /dev/v4l/by-id/ path, or\n"
           "                   part of the camera's name\n"
           "  --video=FILE     a video file, looped\n"
           "  --test-scene     the built-in moving test scene\n"
           "  --zoom=N         show each grid cell as N x N window pixels (1 to 16; by default\n"
           "                   the window takes a comfortable part of the desktop)\n"
           "  --record=FILE    record what the screen shows into FILE (.webm or .mp4)\n"
           "  --threads=N      compute the picture on N threads (1 to " +
           std::to_string(WorkerPool::kMaxThreads) +
           "; by default one per\n"
           "                   processor core)\n"
           "  --virtual-camera[=WHERE]\n"
           "                   send what the screen shows, without the overlay, as a camera\n"
           "                   for video calls: WHERE is 'pipewire' (a PipeWire node named\n"
           "                   Tavlomi) or a v4l2loopback device such as /dev/video4; without\n"
           "                   WHERE, every one that is there\n"
           "  --list-cameras   list the cameras and exit\n"
           "  --help           show this help and exit\n"
           "  --version        show the version and exit\n"
           "\n"
           "Keys:\n" +
           keyLines() +
           "\n"
           "Exit status: 0 on a normal quit; 1 when the display, the camera, the memory the\n"
           "grid needs or a virtual camera asked for by WHERE cannot be had, when the display is\n"
           "lost, or when a recording cannot be finished; 2 for a bad command line.\n";
}

}  // namespace tavlomi
