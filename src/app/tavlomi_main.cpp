// The toy: parses the command line, opens the display and the picture source, then runs the
// frame loop until Escape, a window-close request, SIGINT, SIGTERM or SIGHUP.

#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/clock.hpp"
#include "app/command_line.hpp"
#include "app/memory_budget.hpp"
#include "app/notice_dialog.hpp"
#include "app/snapshot.hpp"
#include "app/toy_session.hpp"
#include "capture/camera_choice.hpp"
#include "capture/test_scene_source.hpp"
#include "common/notice_sink.hpp"
#include "gst/camera_list.hpp"
#include "gst/gst_frame_source.hpp"
#include "gst/gst_recorder.hpp"
#include "gst/gst_virtual_camera.hpp"
#include "gst/pipewire_node_process.hpp"
#include "gst/video_nodes.hpp"
#include "png/png_writer.hpp"
#include "sdl/sdl_display.hpp"

namespace {

using namespace tavlomi;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kFramePauseMilliseconds = 10;
constexpr int kRecordFramesPerSecond = 30;

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

// The edges' notices (a camera lost or back) go to stderr as they are and over the picture, never
// among the status lines on standard output.
class ShownNotices final : public NoticeSink {
  public:
    explicit ShownNotices(StatusOverlay& status) : status_(status) {}
    void notice(std::string_view text) override {
        std::cerr << text << "\n";
        status_.show(text);
    }

  private:
    StatusOverlay& status_;
};

int listCamerasCommand() {
    std::cout << cameraListText(listCameras());
    return 0;
}

// The picture source the command line asks for; nullptr after printing why on failure.
std::unique_ptr<FrameSource> openSource(const CommandLine& cl, int width, int height,
                                        NoticeSink& notices) {
    std::string error;
    std::unique_ptr<FrameSource> source;
    switch (cl.source) {
        case SourceKind::TestScene:
            return std::make_unique<TestSceneSource>(width, height);
        case SourceKind::VideoFile:
            source = GstFrameSource::openVideoFile(cl.sourcePath, width, height, notices, error);
            break;
        case SourceKind::Device: {
            const DeviceChoice choice =
                chooseDevice(cl.sourcePath, listCameras(), resolveDevicePath);
            if (!choice.error.empty()) {
                std::cerr << "tavlomi: " << choice.error << "\n";
                return nullptr;
            }
            source = choice.index
                         ? GstFrameSource::openCamera(*choice.index, width, height, notices, error)
                         : GstFrameSource::openDevice(choice.node, width, height, notices, error);
            break;
        }
        case SourceKind::CameraIndex: {
            const std::size_t count = listCameras().size();
            if (static_cast<std::size_t>(cl.cameraIndex) >= count) {
                std::cerr << "tavlomi: there is no camera " << cl.cameraIndex << " (" << count
                          << " found; see --list-cameras)\n";
                return nullptr;
            }
            source = GstFrameSource::openCamera(static_cast<std::size_t>(cl.cameraIndex), width,
                                                height, notices, error);
            break;
        }
        case SourceKind::DefaultCamera: {
            const std::vector<CameraDevice> cameras = listCameras();
            const std::optional<std::size_t> chosen = defaultCameraIndex(cameras);
            if (!chosen) {
                std::cerr << "tavlomi: " << (cameras.empty() ? "no camera" : "no colour camera")
                          << " found; showing the built-in test scene\n";
                return std::make_unique<TestSceneSource>(width, height);
            }
            source = GstFrameSource::openCamera(*chosen, width, height, notices, error);
            break;
        }
    }
    if (!source) std::cerr << "tavlomi: " << error << "\n";
    return source;
}

// The virtual camera the command line asks for, announced over the picture; nullptr, after saying
// why on stderr, when none goes out. failed is set when a route chosen by name cannot be had.
std::unique_ptr<GstVirtualCamera> openVirtualCamera(const CommandLine& cl, NoticeSink& notices,
                                                    bool& failed) {
    using Kind = VirtualCameraWhere::Kind;
    failed = false;
    if (cl.virtualCamera.kind == Kind::Off) return nullptr;
    // A PipeWire node process that dies breaks its pipe: the write fails and the route is
    // opened again, instead of the signal ending the toy.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string pipewire = cl.virtualCamera.kind == Kind::Device ? "" : pipewireProblem();
    const VirtualCameraPlan plan =
        planVirtualCamera(cl.virtualCamera, cl.windowWidth, cl.windowHeight, pipewire,
                          listVideoNodes(), resolveDevicePath);
    if (!plan.any()) {
        std::cerr << "tavlomi: " << plan.problem << "\n";
        failed = plan.fatal;
        return nullptr;
    }
    std::vector<std::string> failures;
    std::unique_ptr<GstVirtualCamera> camera =
        GstVirtualCamera::open(plan, cl.windowWidth, cl.windowHeight, notices, failures);
    for (const std::string& failure : failures)
        std::cerr << "tavlomi: " << failure << "\n";
    failed = plan.fatal && !failures.empty();
    if (camera && !plan.sizeNote.empty()) std::cerr << "tavlomi: " << plan.sizeNote << "\n";
    if (camera) notices.notice("virtual camera on: " + camera->where());
    return camera;
}

// Plays until Escape, a window-close request or a stop signal; the exit status.
int play(const CommandLine& cl) {
    const int width = cl.windowWidth;
    const int height = cl.windowHeight;
    // Before the display opens, so that SDL keeps its own handlers out of the way.
    installStopHandlers();
    std::string error;
    std::unique_ptr<SdlDisplay> display =
        SdlDisplay::open(width, height, cl.fullscreen, cl.zoom, error);
    if (!display) {
        std::cerr << "tavlomi: " << error << "\n";
        return kExitFailure;
    }
    SteadyClock clock;
    ToySession session(clock);
    ShownNotices notices(session.overlay());
    std::unique_ptr<FrameSource> source = openSource(cl, width, height, notices);
    if (!source) return kExitFailure;

    std::unique_ptr<GstRecorder> recorder;
    if (!cl.recordPath.empty()) {
        recorder = GstRecorder::open(cl.recordPath, width, height, kRecordFramesPerSecond,
                                     GstRecorder::Pacing::RealTime, error);
        if (!recorder) {
            std::cerr << "tavlomi: " << error << "\n";
            return kExitFailure;
        }
    }

    bool virtualCameraFailed = false;
    std::unique_ptr<GstVirtualCamera> virtualCamera =
        openVirtualCamera(cl, notices, virtualCameraFailed);
    if (virtualCameraFailed) return kExitFailure;

    const int threads = cl.threads > 0 ? cl.threads : defaultThreadCount();
    FrameLoop& loop =
        session.start(*display, *source, width, height, kFramePauseMilliseconds, true, threads);
    std::vector<std::uint32_t> outgoing;
    if (virtualCamera) {
        loop.showVirtualCamera(virtualCamera->where());
        loop.setPictureHandler([&] {
            display->copyScreen(outgoing);
            virtualCamera->offer(outgoing);
        });
    }
    std::vector<std::uint32_t> screen;
    loop.setSnapshotHandler([&] {
        display->copyScreen(screen);
        const SnapshotResult saved = saveSnapshot(screen, width, height, writePngFile);
        const std::string notice =
            saved.ok() ? "Snapshot saved: " + saved.path.string() : "No snapshot: " + saved.error;
        std::cerr << "tavlomi: " << notice << "\n";
        session.overlay().show(notice);
    });
    while (stopRequested == 0 && loop.runFrame()) {
        if (recorder) {
            display->copyScreen(screen);
            recorder->pushFrame(screen);
        }
    }
    int status = 0;
    if (loop.displayLost()) {
        std::cerr << "tavlomi: " << display->lossReason() << "\n";
        status = kExitFailure;
    }
    if (recorder && !recorder->finish()) {
        std::cerr << "tavlomi: the recording " << cl.recordPath
                  << " may be incomplete: " << recorder->error() << "\n";
        status = kExitFailure;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string_view(argv[1]) == kPipeWireNodeArgument) {
        return runPipeWireNode(std::atoi(argv[2]), std::atoi(argv[3]));
    }
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
    return exitStatusWithinMemory("tavlomi", cl.windowWidth, cl.windowHeight,
                                  [&] { return play(cl); });
}
