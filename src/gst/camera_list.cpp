#include "gst/camera_list.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "gst/gst_support.hpp"
#include "gst/offered_caps.hpp"

namespace tavlomi {

namespace {

constexpr const char* kByIdDirectory = "/dev/v4l/by-id";
// Cameras send several frames a second; a PipeWire camera silent this long has gone.
constexpr std::chrono::milliseconds kPipeWireQuietLimit{2000};

// Opens node the way v4l2src does and tells whether that is refused for want of rights.
bool nodeRefusesAccess(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EACCES || errno == EPERM;
}

bool isV4l2Source(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory != nullptr &&
           std::strcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "v4l2src") == 0;
}

// The node a device's properties name, without a "v4l2:" prefix; empty when none is a path.
std::string nodeOf(const GstStructure* properties) {
    for (const char* key : {"device.path", "api.v4l2.path", "object.path"}) {
        const gchar* value = gst_structure_get_string(properties, key);
        if (value == nullptr) continue;
        std::string node = value;
        if (node.starts_with("v4l2:")) node.erase(0, 5);
        if (node.starts_with("/")) return node;
    }
    return {};
}

// The stack that serves a device, known by the device's type (GstV4l2Device, ...).
struct Stack {
    const char* typeNamePart;  // in lower case
    const char* name;
};
constexpr Stack kStacks[] = {
    {"v4l2", "V4L2"}, {"pipewire", "PipeWire"}, {"libcamera", "libcamera"}};

const Stack* stackOf(GstDevice* device) {
    const OwnedText type{g_ascii_strdown(G_OBJECT_TYPE_NAME(device), -1)};
    for (const Stack& stack : kStacks) {
        if (std::strstr(type.get(), stack.typeNamePart) != nullptr) return &stack;
    }
    return nullptr;
}

CameraDevice describeCamera(GstDevice* device) {
    CameraDevice info;
    if (const OwnedText name{gst_device_get_display_name(device)}) info.name = name.get();
    const Stack* stack = stackOf(device);
    if (stack != nullptr) info.stack = stack->name;
    // libcamera names its devices by the camera's id; PipeWire keeps that id for its nodes.
    if (stack != nullptr && std::strcmp(stack->name, "libcamera") == 0) {
        if (const OwnedText id{gst_object_get_name(GST_OBJECT(device))})
            info.libcameraId = id.get();
    }
    if (GstStructure* properties = gst_device_get_properties(device)) {
        info.node = nodeOf(properties);
        if (const gchar* id = gst_structure_get_string(properties, "api.libcamera.path")) {
            info.libcameraId = id;
        }
        guint deviceCaps = 0;
        if (gst_structure_get_uint(properties, "v4l2.device.device_caps", &deviceCaps)) {
            info.v4l2DeviceCaps = deviceCaps;
        }
        gst_structure_free(properties);
    }
    if (!info.node.empty()) info.byIdPaths = linksTo(info.node, kByIdDirectory);
    const CapsRef caps{gst_device_get_caps(device)};
    for (const OfferedStream& stream : readOfferedCaps(caps.get())) {
        const std::vector<std::string> formats =
            stream.formats ? *stream.formats : std::vector<std::string>{""};
        for (const std::string& format : formats) {
            StreamFormat entry{stream.mediaType, format};
            if (std::find(info.formats.begin(), info.formats.end(), entry) == info.formats.end()) {
                info.formats.push_back(std::move(entry));
            }
        }
    }
    return info;
}

}  // namespace

CameraList::CameraList() {
    std::string ignored;
    if (!ensureGstreamer(ignored)) return;
    monitor_.reset(gst_device_monitor_new());
    // libcamera's provider names the class the other way round.
    gst_device_monitor_add_filter(monitor_.get(), "Video/Source", nullptr);
    gst_device_monitor_add_filter(monitor_.get(), "Source/Video", nullptr);
    // PipeWire's provider hides V4L2's, yet a PipeWire that does not serve a camera would make
    // it disappear: every provider lists, and another stack's view of a listed camera is left out.
    gst_device_monitor_set_show_all_devices(monitor_.get(), TRUE);
    std::vector<GstRef<GstDevice>> all;
    std::vector<CameraDevice> described;
    GList* devices = gst_device_monitor_get_devices(monitor_.get());
    for (GList* item = devices; item != nullptr; item = item->next) {
        all.emplace_back(GST_DEVICE(item->data));
        described.push_back(describeCamera(all.back().get()));
    }
    g_list_free(devices);
    for (const std::size_t kept : distinctCameras(described)) {
        devices_.push_back(std::move(all[kept]));
        described_.push_back(std::move(described[kept]));
    }
}

MadeSource CameraList::makeSource(std::size_t index) const {
    const CameraDevice& info = described_.at(index);
    MadeSource made;
    made.label = cameraLabel(info);
    made.element.reset(gst_device_create_element(devices_[index].get(), nullptr));
    if (!made.element) {
        made.problem = "GStreamer cannot make a source element for it";
        return made;
    }
    // Other providers (PipeWire) reach the camera through a service of their own.
    if (isV4l2Source(made.element.get()) && !info.node.empty() && nodeRefusesAccess(info.node)) {
        made.element.reset();
        made.problem = permissionDeniedText();
        return made;
    }
    made.offered.reset(gst_device_get_caps(devices_[index].get()));
    // v4l2src reports a camera that goes away; pipewiresrc waits for its node's return, and
    // PipeWire 0.3's device provider cannot watch for the removal beside a running source (it
    // frees memory twice when stopped, and deadlocks a listing made while the source runs).
    if (info.stack == "PipeWire") made.quietLimit = kPipeWireQuietLimit;
    return made;
}

std::vector<CameraDevice> listCameras() {
    return CameraList().devices();
}

CameraDevice describeNode(const std::string& node) {
    CameraDevice identity;
    identity.node = node;
    identity.byIdPaths = linksTo(node, kByIdDirectory);
    for (CameraDevice& listed : listCameras()) {
        if (listed.node == node) identity = std::move(listed);
    }
    return identity;
}

MadeSource makeNodeSource(const std::string& node) {
    MadeSource made;
    made.label = node;
    if (nodeRefusesAccess(node)) {
        made.problem = permissionDeniedText();
        return made;
    }
    made.element.reset(gst_element_factory_make("v4l2src", nullptr));
    if (!made.element) {
        made.problem = "the GStreamer element v4l2src is missing";
        return made;
    }
    g_object_set(made.element.get(), "device", node.c_str(), nullptr);
    return made;
}

std::function<MadeSource()> returningCameraMaker(CameraDevice lost) {
    return [lost = std::move(lost)]() {
        const CameraList cameras;
        const std::vector<CameraDevice>& now = cameras.devices();
        if (const std::optional<std::size_t> index = findReturningCamera(lost, now)) {
            return cameras.makeSource(*index);
        }
        if (now.empty() && !lost.node.empty() && ::access(lost.node.c_str(), F_OK) == 0) {
            return makeNodeSource(lost.node);
        }
        MadeSource none;
        none.label = cameraLabel(lost);
        none.problem = "it is not there";
        return none;
    };
}

}  // namespace tavlomi
