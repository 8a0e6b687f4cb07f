#include "gst/virtual_camera_route.hpp"

#include <gst/app/gstappsrc.h>

#include <utility>

#include "common/virtual_camera_plan.hpp"
#include "gst/gst_support.hpp"

namespace tavlomi {

namespace {

// How long a failed start waits for GStreamer's reason to reach the bus.
constexpr GstClockTime kErrorMessageWait = GST_SECOND;

}  // namespace

VirtualCameraRoute::VirtualCameraRoute(Key, std::string label) : label_(std::move(label)) {}

VirtualCameraRoute::~VirtualCameraRoute() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

std::unique_ptr<VirtualCameraRoute> VirtualCameraRoute::open(FloatingRef sink, std::string label,
                                                             Shape shape, std::string& reason) {
    if (!ensureGstreamer(reason)) return nullptr;
    auto route = std::make_unique<VirtualCameraRoute>(Key{}, std::move(label));
    if (!route->build(std::move(sink), shape, reason) || !route->start(reason)) {
        return nullptr;
    }
    return route;
}

bool VirtualCameraRoute::build(FloatingRef sink, Shape shape, std::string& reason) {
    if (!sink) {
        if (reason.empty()) reason = "its GStreamer sink element is missing";
        return false;
    }
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    bus_.reset(gst_element_get_bus(pipeline_.get()));
    const bool cropped = shape.width != shape.screenWidth || shape.height != shape.screenHeight;
    GstElement* chain[5] = {};
    int length = 0;
    const auto add = [&](const char* factory) {
        GstElement* element = gst_element_factory_make(factory, nullptr);
        if (element != nullptr) gst_bin_add(GST_BIN(pipeline_.get()), element);
        chain[length++] = element;
        return element;
    };
    appsrc_ = add("appsrc");
    GstElement* crop = cropped ? add("videocrop") : nullptr;
    GstElement* convert = add("videoconvert");
    GstElement* format = add("capsfilter");
    for (int i = 0; i < length; ++i) {
        if (chain[i] == nullptr) {
            reason =
                "a GStreamer element (appsrc, videocrop, videoconvert or capsfilter) is missing";
            return false;
        }
    }
    chain[length] = sink.release();
    gst_bin_add(GST_BIN(pipeline_.get()), chain[length++]);

    // Pixel words 0x00RRGGBB are B, G, R, x in memory on a little-endian machine.
    const char* wordFormat = G_BYTE_ORDER == G_LITTLE_ENDIAN ? "BGRx" : "xRGB";
    const CapsRef screenCaps{gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, wordFormat, "width", G_TYPE_INT, shape.screenWidth,
        "height", G_TYPE_INT, shape.screenHeight, "framerate", GST_TYPE_FRACTION,
        kVirtualCameraFramesPerSecond, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr)};
    gst_app_src_set_caps(GST_APP_SRC(appsrc_), screenCaps.get());
    g_object_set(appsrc_, "is-live", TRUE, "do-timestamp", TRUE, "format", GST_FORMAT_TIME, "block",
                 FALSE, "max-buffers", guint64{kQueueScreens}, "max-bytes", guint64{0}, "max-time",
                 guint64{0}, nullptr);
    gst_util_set_object_arg(G_OBJECT(appsrc_), "leaky-type", "downstream");
    if (crop != nullptr) {
        g_object_set(crop, "right", shape.screenWidth - shape.width, "bottom",
                     shape.screenHeight - shape.height, nullptr);
    }
    // No dither and no chroma filter: the conversion stated in the header, exactly.
    gst_util_set_object_arg(G_OBJECT(convert), "dither", "none");
    gst_util_set_object_arg(G_OBJECT(convert), "chroma-mode", "none");
    const CapsRef outCaps{gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, "YUY2", "width", G_TYPE_INT, shape.width, "height",
        G_TYPE_INT, shape.height, "framerate", GST_TYPE_FRACTION, kVirtualCameraFramesPerSecond, 1,
        "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, "colorimetry", G_TYPE_STRING, "bt601",
        nullptr)};
    g_object_set(format, "caps", outCaps.get(), nullptr);
    for (int i = 0; i + 1 < length; ++i) {
        if (!gst_element_link(chain[i], chain[i + 1])) {
            reason = "it cannot take YUY2 of " + std::to_string(shape.width) + " x " +
                     std::to_string(shape.height);
            return false;
        }
    }
    return true;
}

// A live source does not preroll, so a sink that cannot open (no device, no daemon) fails here
// and the rest starts with the first frame.
bool VirtualCameraRoute::start(std::string& reason) {
    const GstStateChangeReturn state = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    const GstClockTime errorWait =
        state == GST_STATE_CHANGE_FAILURE ? kErrorMessageWait : GstClockTime{0};
    if (MessageRef message{gst_bus_timed_pop_filtered(bus_.get(), errorWait, GST_MESSAGE_ERROR)}) {
        reason = describeErrorMessage(message.get());
        return false;
    }
    if (state == GST_STATE_CHANGE_FAILURE) {
        reason = "GStreamer could not start it";
        return false;
    }
    return true;
}

void VirtualCameraRoute::push(GstBuffer* screen) {
    // A copy of its own shares the pixels and takes this route's stamp.
    gst_app_src_push_buffer(GST_APP_SRC(appsrc_), gst_buffer_copy(screen));
}

std::optional<std::string> VirtualCameraRoute::pollError() {
    if (MessageRef message{gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR)}) {
        return describeErrorMessage(message.get());
    }
    return std::nullopt;
}

}  // namespace tavlomi
