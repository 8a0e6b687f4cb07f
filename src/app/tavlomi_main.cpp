// The toy: parses the command line, opens the display and the picture source, then runs the
// frame loop until Escape, a window-close request, SIGINT, SIGTERM or SIGHUP.

#include <signal.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "app/frame_loop.hpp"
#include "app/notice_dialog.hpp"
#include "app/sdl_display.hpp"
#include "app/stdout_status.hpp"
#include "app/toy.hpp"
#include "capture/gst_frame_source.hpp"
#include "capture/test_scene_source.hpp"

namespace {

using namespace tavlomi;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kFramePauseMilliseconds = 10;

// Set by a stop signal; the loop ends before its next frame so that every destructor runs and
// the camera pipeline and the window are released.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int) {
    stopRequested = 1;
}

// A signal that was ignored when the toy started (SIGINT for a shell's background job, SIGHUP
// under nohup) stays ignored. The first signal asks for a clean stop; a second one ends the
// process at once, in case the stop itself hangs.
void installStopHandlers() {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signalNumber, &action, nullptr);
    }
}

int listCamerasCommand() {
    const std::vector<CameraInfo> cameras = listCameras();
    if (cameras.empty()) {
        std::cout << "No camera found.\n";
        return 0;
    }
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        std::cout << i << ": " << cameras[i].name;
        if (!cameras[i].node.empty()) std::cout << " (" << cameras[i].node << ")";
        std::cout << (i == 0 ? "  [default]" : "") << "\n";
    }
    return 0;
}

// The picture source the command line asks for; nullptr after printing why on failure.
std::unique_ptr<FrameSource> openSource(const CommandLine& cl, int width, int height) {
    std::string error;
    std::unique_ptr<FrameSource> source;
    switch (cl.source) {
        case SourceKind::TestScene:
            return std::make_unique<TestSceneSource>(width, height);
        case SourceKind::VideoFile:
            source = GstFrameSource::openVideoFile(cl.sourcePath, width, height, error);
            break;
        case SourceKind::Device:
            source = GstFrameSource::openDevice(cl.sourcePath, width, height, error);
            break;
        case SourceKind::CameraIndex: {
            const std::size_t count = listCameras().size();
            if (static_cast<std::size_t>(cl.cameraIndex) >= count) {
                std::cerr << "tavlomi: there is no camera " << cl.cameraIndex << " (" << count
                          << " found; see --list-cameras)\n";
                return nullptr;
            }
            source = GstFrameSource::openCamera(static_cast<std::size_t>(cl.cameraIndex), width,
                                                height, error);
            break;
        }
        case SourceKind::DefaultCamera:
            if (listCameras().empty()) {
                std::cerr << "tavlomi: no camera found; showing the built-in test scene\n";
                return std::make_unique<TestSceneSource>(width, height);
            }
            source = GstFrameSource::openCamera(0, width, height, error);
            break;
    }
    if (!source) std::cerr << "tavlomi: " << error << "\n";
    return source;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parseCommandLine(args);
    if (!parsed.error.empty()) {
        std::cerr << "tavlomi: " << parsed.error << "\nTry 'tavlomi --help'.\n";
        return kExitUsage;
    }
    const CommandLine& cl = parsed.commandLine;
    switch (cl.action) {
        case Action::Help:
            std::cout << usageText("tavlomi");
            return 0;
        case Action::Version:
            std::cout << "tavlomi " << TAVLOMI_VERSION << "\n";
            return 0;
        case Action::ListCameras:
            return listCamerasCommand();
        case Action::Run:
            break;
    }
    for (const std::string& warning : cl.warnings)
        std::cerr << "tavlomi: " << warning << "\n";
    if (cl.badFirstArgument) {
        std::cerr << kBadFirstArgumentTitle << ": " << kBadFirstArgumentText << "\n";
        showNoticeDialog(kBadFirstArgumentTitle, kBadFirstArgumentText);
    }

    // Before the display opens, so that SDL keeps its own handlers out of the way.
    installStopHandlers();
    std::string error;
    std::unique_ptr<SdlDisplay> display =
        SdlDisplay::open(cl.windowWidth, cl.windowHeight, cl.fullscreen, error);
    if (!display) {
        std::cerr << "tavlomi: " << error << "\n";
        return kExitFailure;
    }
    std::unique_ptr<FrameSource> source = openSource(cl, cl.windowWidth, cl.windowHeight);
    if (!source) return kExitFailure;

    StdoutStatus status;
    Toy toy(cl.windowWidth, cl.windowHeight, *source, status);
    FrameLoop loop(*display, toy, kFramePauseMilliseconds);
    while (stopRequested == 0 && loop.runFrame()) {
    }
    return 0;
}
