#include "common/virtual_camera_plan.hpp"

namespace tavlomi {

namespace {

// YUY2, the format calls take, carries two pixels in four bytes, and call programs expect even
// sides: an odd last column or row is left out.
constexpr int evenSide(int side) {
    return side - side % 2;
}

std::string sizeText(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

std::string evenSizeNote(int width, int height) {
    const bool oddWidth = width % 2 != 0;
    const bool oddHeight = height % 2 != 0;
    if (!oddWidth && !oddHeight) return {};
    const char* left = oddWidth && oddHeight ? "the last column and row are"
                       : oddWidth            ? "the last column is"
                                             : "the last row is";
    return "the virtual camera sends " + sizeText(evenSide(width), evenSide(height)) +
           ": its format (YUY2) needs even sides, so " + left + " left out of the " +
           sizeText(width, height) + " screen";
}

const VideoNode* findNode(const std::string& path, std::span<const VideoNode> nodes,
                          const NodeResolver& resolve) {
    const std::optional<std::string> target = resolve(path);
    for (const VideoNode& node : nodes) {
        if (node.node == path || (target && resolve(node.node) == target)) return &node;
    }
    return nullptr;
}

}  // namespace

bool isLoopbackOutput(const VideoNode& node) {
    const std::uint32_t output = kV4l2VideoOutput | kV4l2VideoOutputMplane;
    const std::uint32_t memoryToMemory = kV4l2VideoM2m | kV4l2VideoM2mMplane;
    return node.driver == kLoopbackDriver && (node.deviceCaps & output) != 0 &&
           (node.deviceCaps & memoryToMemory) == 0;
}

std::string VirtualCameraPlan::where() const {
    std::string text;
    if (pipewire) text = std::string("PipeWire node \"") + kVirtualCameraName + "\"";
    if (!device.empty()) text += (text.empty() ? "" : " and ") + device;
    return text;
}

VirtualCameraPlan planVirtualCamera(const VirtualCameraWhere& where, int width, int height,
                                    const std::string& pipewireProblem,
                                    std::span<const VideoNode> nodes, const NodeResolver& resolve) {
    using Kind = VirtualCameraWhere::Kind;
    VirtualCameraPlan plan;
    if (where.kind == Kind::Off) return plan;
    plan.fatal = where.kind != Kind::Every;
    plan.width = evenSide(width);
    plan.height = evenSide(height);
    if (plan.width < 2 || plan.height < 2) {
        plan.problem = "no virtual camera: a screen of " + sizeText(width, height) +
                       " is too small for one (at least 2 x 2)";
        return plan;
    }
    plan.sizeNote = evenSizeNote(width, height);
    if (where.kind == Kind::Device) {
        const VideoNode* node = findNode(where.device, nodes, resolve);
        if (node == nullptr) {
            plan.problem =
                "cannot send the virtual camera to " + where.device + ": it is not a video device";
        } else if (!isLoopbackOutput(*node)) {
            plan.problem = "cannot send the virtual camera to " + where.device + ": it is " +
                           (node->driver == kLoopbackDriver
                                ? std::string("a v4l2loopback device that another program writes")
                                : "not a v4l2loopback device (its driver is " + node->driver + ")");
        } else {
            plan.device = node->node;
        }
        return plan;
    }
    plan.pipewire = pipewireProblem.empty();
    if (where.kind == Kind::PipeWire) {
        if (!plan.pipewire) plan.problem = "no PipeWire virtual camera: " + pipewireProblem;
        return plan;
    }
    for (const VideoNode& node : nodes) {
        if (isLoopbackOutput(node)) {
            plan.device = node.node;
            break;
        }
    }
    if (!plan.any()) {
        plan.problem =
            "no virtual camera: " + pipewireProblem +
            " and there is no v4l2loopback device; load one with 'sudo modprobe v4l2loopback "
            "exclusive_caps=1 card_label=Tavlomi', or run PipeWire (pipewire, wireplumber and "
            "gstreamer1.0-pipewire) for a PipeWire camera";
    }
    return plan;
}

}  // namespace tavlomi
