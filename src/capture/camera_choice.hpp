#pragma once

// Which camera to open: the default among the system's video capture devices, the device a
// --device argument means, and the camera to take when a lost one comes back. Plain descriptions
// in, decisions out; the GStreamer edge fills the descriptions.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/capture_mode.hpp"

namespace tavlomi {

// V4L2 device capability bits (linux/videodev2.h) that tell a picture node from a metadata one.
inline constexpr std::uint32_t kV4l2VideoCapture = 0x00000001;
inline constexpr std::uint32_t kV4l2VideoCaptureMplane = 0x00001000;

struct CameraDevice {
    std::string name;                    // display name, e.g. "Integrated Camera"
    std::string node;                    // device node such as /dev/video0; empty when not known
    std::vector<std::string> byIdPaths;  // /dev/v4l/by-id/... links that lead to node
    std::vector<StreamFormat> formats;   // every stream kind of the device's caps
    std::uint32_t v4l2DeviceCaps = 0;    // the V4L2 device_caps bits; 0 when not known
    std::string stack;                   // what serves it: "V4L2", "PipeWire" or "libcamera"
    std::string libcameraId;             // libcamera's id for it, when libcamera drives it
};

enum class CameraKind {
    Colour,      // offers colour raw video or JPEG
    Monochrome,  // offers only grey formats, or names itself infrared: IR and depth sensors
    NoPicture,   // offers neither raw video nor JPEG, e.g. a metadata node
};

CameraKind classifyCamera(const CameraDevice& device);

// The first colour camera; nullopt when none offers colour.
std::optional<std::size_t> defaultCameraIndex(std::span<const CameraDevice> devices);

// How notices name a device: its node, else its name.
std::string cameraLabel(const CameraDevice& device);

// Indices of devices without the entries that are another stack's view of a camera already
// listed (the same node, or the same libcamera id), in order. Of one camera the most direct entry
// is kept: V4L2's, then libcamera's, then PipeWire's.
std::vector<std::size_t> distinctCameras(std::span<const CameraDevice> devices);

// The text of --list-cameras: one line per device with its index, name, node, the stack that
// serves it, its kind and whether it is the default, its by-id links below it; a closing line when
// no camera is colour.
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

// The explanation given when a camera node cannot be opened for want of permission.
std::string permissionDeniedText();

}  // namespace tavlomi
