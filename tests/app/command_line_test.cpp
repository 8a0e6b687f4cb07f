#include "app/command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/key_help.hpp"

namespace tavlomi {
namespace {

using Args = std::vector<std::string>;

// What a parsed line asks for, e.g. "window 640x480 device /dev/video2 zoom 2".
std::string describe(const CommandLine& cl) {
    const char* sources[] = {"", " camera ", " device ", " video ", " test scene"};
    std::string text = std::string(cl.badFirstArgument ? "bad first argument, " : "") +
                       (cl.fullscreen ? "fullscreen " : "window ") +
                       std::to_string(cl.windowWidth) + "x" + std::to_string(cl.windowHeight) +
                       sources[static_cast<int>(cl.source)] + cl.sourcePath;
    if (cl.source == SourceKind::CameraIndex) text += std::to_string(cl.cameraIndex);
    if (cl.zoom != 0) text += " zoom " + std::to_string(cl.zoom);
    if (!cl.recordPath.empty()) text += " record " + cl.recordPath;
    const char* outs[] = {"", " out everywhere", " out pipewire", " out "};
    text += outs[static_cast<int>(cl.virtualCamera.kind)] + cl.virtualCamera.device;
    if (cl.threads != 0) text += " threads " + std::to_string(cl.threads);
    for (const std::string& warning : cl.warnings)
        text += "; " + warning;
    return text;
}

TEST(CommandLine, AcceptedLines) {
    const struct {
        Args args;
        const char* asks;
    } cases[] = {
        {{}, "fullscreen 320x240"},
        {{"window"}, "window 320x240"},
        {{"fullscreen", "640", "480"}, "fullscreen 640x480"},
        {{"Window", "640", "480"}, "bad first argument, fullscreen 640x480"},
        {{"window", "640"},
         "window 320x240; a size needs both width and height; '640' ignored, using 320 x 240"},
        {{"window", "640", "480", "7"},
         "window 320x240; too many arguments; the size is ignored, using 320 x 240"},
        {{"window", "16383", "16383"}, "window 16383x16383"},
        {{"window", " +1", "1"}, "window 1x1"},
        {{"--test-scene", "window", "640", "480"}, "window 640x480 test scene"},
        {{"window", "--device=/dev/video2", "640", "480"}, "window 640x480 device /dev/video2"},
        {{"--video=clip.webm", "--zoom=1"}, "fullscreen 320x240 video clip.webm zoom 1"},
        {{"--camera=2147483647"}, "fullscreen 320x240 camera 2147483647"},
        {{"window", "--zoom=16", "--record=/tmp/Play.MP4"},
         "window 320x240 zoom 16 record /tmp/Play.MP4"},
        {{"--virtual-camera"}, "fullscreen 320x240 out everywhere"},
        {{"--virtual-camera=pipewire"}, "fullscreen 320x240 out pipewire"},
        {{"--virtual-camera=/dev/video4"}, "fullscreen 320x240 out /dev/video4"},
        {{"--record=play.webm"}, "fullscreen 320x240 record play.webm"},
        {{"--threads=1", "window"}, "window 320x240 threads 1"},
        {{"--threads=64"}, "fullscreen 320x240 threads 64"},
    };
    for (const auto& c : cases) {
        const ParseResult r = parseCommandLine(c.args);
        EXPECT_EQ(r.error, "") << c.asks;
        EXPECT_EQ(r.commandLine.action, Action::Run) << c.asks;
        EXPECT_EQ(describe(r.commandLine), c.asks);
    }
    EXPECT_EQ(parseCommandLine({"--help", "--frobnicate"}).commandLine.action, Action::Help);
    EXPECT_EQ(parseCommandLine({"window", "--version"}).commandLine.action, Action::Version);
    EXPECT_EQ(parseCommandLine({"--list-cameras"}).commandLine.action, Action::ListCameras);
}

TEST(CommandLine, RefusedLinesSayWhy) {
    const struct {
        Args args;
        std::string error;
    } cases[] = {
        {{"window", "0", "480"}, "the width must be positive, not 0"},
        {{"window", "640", "-0"}, "the height must be positive, not -0"},
        {{"window", "16384", "16"}, "the width 16384 is too large (at most 16383)"},
        {{"window", "16", "99999999999999999999"}, "the height 99999999999999999999 is too large"},
        {{"window", "4x0", "480"}, "the width '4x0' is not a whole number"},
        {{"window", "640", ""}, "the height '' is not a whole number"},
        {{"window", "+", "480"}, "the width '+' is not a whole number"},
        {{"--camera=-1"}, "--camera takes a camera number (0, 1, ...), not '-1'"},
        {{"--camera=2147483648"}, "--camera takes a camera number"},
        {{"--device="}, "--device needs a path"},
        {{"--video="}, "--video needs a path"},
        {{"--zoom=0"}, "--zoom takes a whole number from 1 to 16, not '0'"},
        {{"--zoom=17"}, "--zoom takes a whole number from 1 to 16"},
        {{"--threads=0"}, "--threads takes a whole number from 1 to 64, not '0'"},
        {{"--threads=65"}, "--threads takes a whole number from 1 to 64"},
        {{"--threads=two"}, "--threads takes a whole number from 1 to 64, not 'two'"},
        {{"--threads", "2"}, "--threads takes its value after '=': --threads=N"},
        {{"--record=play.avi"},
         "--record takes a file name ending in .webm or .mp4, not 'play.avi'"},
        {{"--record=.webm"}, "--record takes a file name ending in .webm or .mp4"},
        {{"--test-scene", "--camera=1"},
         "choose one picture source: --camera, --device, --video or --test-scene"},
        // The likely slip: a known option without its '='.
        {{"--video", "clip.webm"}, "--video takes its value after '=': --video=FILE"},
        {{"--camera"}, "--camera takes its value after '=': --camera=N"},
        {{"window", "--device"}, "--device takes its value after '=': --device=PATH"},
        {{"--zoom"}, "--zoom takes its value after '=': --zoom=N"},
        {{"--test-scene=1"}, "--test-scene takes no value"},
        {{"--help=1"}, "--help takes no value"},
        {{"--version=2"}, "--version takes no value"},
        {{"--list-cameras=x"}, "--list-cameras takes no value"},
        {{"--virtual-camera=video4"},
         "--virtual-camera takes 'pipewire' or a device path such as /dev/video4, not 'video4'"},
        {{"--fullscreen"}, "unknown option '--fullscreen' (see --help)"},
        {{"--"}, "unknown option '--' (see --help)"},
    };
    for (const auto& c : cases) {
        const std::string error = parseCommandLine(c.args).error;
        EXPECT_EQ(error.substr(0, c.error.size()), c.error) << ::testing::PrintToString(c.args);
    }
}

TEST(CommandLine, HelpListsEveryOptionAndEveryKeyWithItsAction) {
    const std::string help = usageText("tavlomi");
    EXPECT_EQ(help.rfind("Usage: tavlomi [fullscreen|window] [WIDTH HEIGHT] [OPTIONS]\n", 0), 0u);
    for (const char* option :
         {"\n  --camera=N ", "\n  --device=PATH ", "\n  --video=FILE ", "\n  --test-scene ",
          "\n  --zoom=N ", "\n  --record=FILE ", "\n  --threads=N ", "\n  --list-cameras ",
          "\n  --help ", "\n  --version ", "\n  --virtual-camera[=WHERE]\n"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    for (const KeyHelp& entry : kKeyHelp) {
        const std::size_t keys = help.find("\n  " + std::string(entry.keys) + " ");
        ASSERT_NE(keys, std::string::npos) << entry.keys;
        // Keys from the third column, actions from the twentieth.
        const std::string line = help.substr(keys + 1, help.find('\n', keys + 1) - keys - 1);
        EXPECT_EQ(line.find(entry.action), 19u) << line;
    }
}

}  // namespace
}  // namespace tavlomi
