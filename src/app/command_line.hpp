#pragma once

// The command line: options beginning with "--" (taken out first, in any position), then the
// positional [fullscreen|window] [width height] of the original toy.

#include <string>
#include <vector>

#include "common/virtual_camera_plan.hpp"

namespace tavlomi {

// Largest grid side accepted: SDL makes no surface 16384 or more pixels wide, and it keeps every
// cell count and byte count of a 32-bit int.
constexpr int kMaxSide = 16383;

enum class Action { Run, Help, Version, ListCameras };
enum class SourceKind { DefaultCamera, CameraIndex, Device, VideoFile, TestScene };

struct CommandLine {
    Action action = Action::Run;
    bool fullscreen = true;
    // The first positional argument was neither "fullscreen" nor "window".
    bool badFirstArgument = false;
    int windowWidth = 320;
    int windowHeight = 240;
    SourceKind source = SourceKind::DefaultCamera;
    int cameraIndex = 0;
    std::string sourcePath;
    // Window pixels a side per grid cell in window mode, kMinZoom..kMaxZoom; 0 lets the display
    // choose from the desktop's size.
    int zoom = 0;
    // Where to record what the screen shows (.webm or .mp4); empty for no recording.
    std::string recordPath;
    // Where the screen goes out as a camera for video calls.
    VirtualCameraWhere virtualCamera;
    // Threads for the grid loops, 1..WorkerPool::kMaxThreads; 0 takes one per processor core
    // (defaultThreadCount()).
    int threads = 0;
    // Notices about arguments that were ignored; the toy still runs.
    std::vector<std::string> warnings;
};

struct ParseResult {
    CommandLine commandLine;
    // Non-empty when the command line is unusable: print it and exit with status 2.
    std::string error;
};

// args excludes the program name.
ParseResult parseCommandLine(const std::vector<std::string>& args);

// Text of --help.
std::string usageText(const std::string& programName);

// The notice for a first argument that is neither mode.
inline constexpr const char* kBadFirstArgumentTitle = "Error";
inline constexpr const char* kBadFirstArgumentText =
    "First parameter was not either lowercase 'fullscreen' or 'window' (no quotes), ignored.";

}  // namespace tavlomi
