#pragma once

// Which camera to open and what to ask of it: the default among the system's video capture
// devices, the device a --device argument means, the camera to take when a lost one comes back,
// and the capture mode nearest the grid. Plain descriptions in, decisions out; the GStreamer edge
// fills the descriptions.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavlomi {

// One kind of stream a device offers, as a caps structure names it: {"video/x-raw", "YUY2"},
// {"image/jpeg", ""}. format is empty when the structure has none.
struct StreamFormat {
    std::string mediaType;
    std::string format;

    bool operator==(const StreamFormat&) const = default;
};

// V4L2 device capability bits (linux/videodev2.h) that tell a picture node from a metadata one.
inline constexpr std::uint32_t kV4l2VideoCapture = 0x00000001;
inline constexpr std::uint32_t kV4l2VideoCaptureMplane = 0x00001000;

struct CameraDevice {
    std::string name;                    // display name, e.g. "Integrated Camera"
    std::string node;                    // device node such as /dev/video0; empty when not known
    std::vector<std::string> byIdPaths;  // /dev/v4l/by-id/... links that lead to node
    std::vector<StreamFormat> formats;   // every stream kind of the device's caps
    std::uint32_t v4l2DeviceCaps = 0;    // the V4L2 device_caps bits; 0 when not known
};

enum class CameraKind {
    Colour,      // offers colour raw video or JPEG
    Monochrome,  // offers only grey formats, or names itself infrared: IR and depth sensors
    NoPicture,   // offers neither raw video nor JPEG, e.g. a metadata node
};

// True for the single-channel formats of infrared and depth sensors: GRAY8, GRAY16_LE, Y16, Z16...
bool isGreyFormat(std::string_view format);

CameraKind classifyCamera(const CameraDevice& device);

// The first colour camera; nullopt when none offers colour.
std::optional<std::size_t> defaultCameraIndex(std::span<const CameraDevice> devices);

// How notices name a device: its node, else its name.
std::string cameraLabel(const CameraDevice& device);

// The text of --list-cameras: one line per device with its index, name, node, kind and whether
// it is the default, its by-id links below it; a closing line when no camera is colour.
std::string cameraListText(std::span<const CameraDevice> devices);

// The real target of a path with every link followed; nullopt when the path does not exist.
using PathResolver = std::function<std::optional<std::string>(const std::string& path)>;
std::optional<std::string> resolveDevicePath(const std::string& path);

// The entries of directory that are links leading to the same file as node, sorted.
std::vector<std::string> linksTo(const std::string& node, const std::string& directory);

struct DeviceChoice {
    std::optional<std::size_t> index;  // the listed device meant
    std::string node;                  // else the node to open directly (a path no device lists)
    std::string error;                 // non-empty when the argument names no single camera
};

// --device=ARG: an argument with a '/' is a path (a node, or a link such as
// /dev/v4l/by-id/...); anything else is part of a device's name, matched without regard to
// case. Several name matches narrow first to exact names, then to colour cameras.
DeviceChoice chooseDevice(const std::string& argument, std::span<const CameraDevice> devices,
                          const PathResolver& resolve);

// When a camera was lost: the listed device that is the same camera (a shared by-id link, else
// the same name, preferring the same node; a nameless one by its node), else the default colour
// camera; nullopt when neither is there.
std::optional<std::size_t> findReturningCamera(const CameraDevice& lost,
                                               std::span<const CameraDevice> devices);

// A frame rate num/den; 0/1 when the source does not say.
struct FrameRate {
    int num = 0;
    int den = 1;

    bool operator==(const FrameRate&) const = default;
};

// One way a source can deliver: a stream kind at one size and rate.
struct CaptureMode {
    StreamFormat format;
    int width = 0;
    int height = 0;
    FrameRate rate;

    bool operator==(const CaptureMode&) const = default;
};

// The rate ceiling worth asking for, and the floor below which motion looks jerky.
inline constexpr int kWantedFps = 30;
inline constexpr int kSmoothFps = 15;

// The mode to ask for, as an index into modes; nullopt when none is raw video or JPEG. In order
// of weight: colour over grey; a smooth rate (or an unknown one) over a jerky one; the size
// nearest the grid (|dw| + |dh|), the larger on a tie; the rate nearest kWantedFps from below
// (faster rates count as kWantedFps, the slower of them wins); raw over JPEG; the earlier one.
std::optional<std::size_t> chooseCaptureMode(std::span<const CaptureMode> modes, int gridWidth,
                                             int gridHeight);

// The size in min..max, in steps of step from min, nearest wanted; the smaller on a tie. step < 1
// counts as 1, a negative min as 0 (sizes never are); a crossed range yields min.
int nearestInRange(int wanted, int min, int max, int step);

// The rate to ask of a source whose rates run from min to max: kWantedFps when it lies inside,
// else the end nearer to it.
FrameRate rateInRange(FrameRate min, FrameRate max);

// The explanation given when a camera node cannot be opened for want of permission.
std::string permissionDeniedText();

}  // namespace tavlomi
