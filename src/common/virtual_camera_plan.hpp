#pragma once

// Where --virtual-camera sends the screen: a PipeWire node named "Tavlomi", a V4L2 loopback
// device, or both. Plain descriptions in (what the command line asks, whether PipeWire answers,
// the system's video nodes), the routes to open and what to tell the person out; the GStreamer
// edge fills the descriptions and opens the routes.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace tavlomi {

// V4L2 capability bits (linux/videodev2.h): a loopback device offers video output; a memory to
// memory device (a hardware codec or scaler) offers output too and is no camera.
inline constexpr std::uint32_t kV4l2VideoOutput = 0x00000002;
inline constexpr std::uint32_t kV4l2VideoOutputMplane = 0x00002000;
inline constexpr std::uint32_t kV4l2VideoM2mMplane = 0x00004000;
inline constexpr std::uint32_t kV4l2VideoM2m = 0x00008000;
// The driver name v4l2loopback reports.
inline constexpr const char* kLoopbackDriver = "v4l2 loopback";
// How the PipeWire node is named and described, as calls list it.
inline constexpr const char* kVirtualCameraName = "Tavlomi";
inline constexpr int kVirtualCameraFramesPerSecond = 30;

struct VirtualCameraWhere {
    enum class Kind {
        Off,       // no --virtual-camera
        Every,     // --virtual-camera: every route there is
        PipeWire,  // --virtual-camera=pipewire
        Device,    // --virtual-camera=PATH
    };
    Kind kind = Kind::Off;
    std::string device;  // for Device
};

// One video device node as VIDIOC_QUERYCAP describes it.
struct VideoNode {
    std::string node;  // e.g. /dev/video4
    std::string driver;
    std::string card;
    std::uint32_t deviceCaps = 0;
};

// A v4l2loopback device that takes a picture now: with exclusive_caps=1 one that another program
// already writes offers only capture, and is left alone.
bool isLoopbackOutput(const VideoNode& node);

struct VirtualCameraPlan {
    bool pipewire = false;
    std::string device;  // the loopback node to write; empty for none
    int width = 0;       // the even size that goes out
    int height = 0;
    std::string sizeNote;  // how the size was made even; empty when it was even
    std::string problem;   // why no route is open (one line for stderr); empty when one is
    bool fatal = false;    // an explicitly chosen route cannot be had: the toy exits with 1

    bool any() const { return pipewire || !device.empty(); }
    // "PipeWire node "Tavlomi" and /dev/video4", for the help and the overlay.
    std::string where() const;
};

// The real target of a path, nullopt when it does not exist (resolveDevicePath in the program).
using NodeResolver = std::function<std::optional<std::string>(const std::string& path)>;

// The routes for where on a width x height screen. pipewireProblem is empty when a PipeWire
// daemon answers, else why not; nodes are the system's video nodes in the order to try.
VirtualCameraPlan planVirtualCamera(const VirtualCameraWhere& where, int width, int height,
                                    const std::string& pipewireProblem,
                                    std::span<const VideoNode> nodes, const NodeResolver& resolve);

}  // namespace tavlomi
