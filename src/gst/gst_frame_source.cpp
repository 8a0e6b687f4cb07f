#include "gst/gst_frame_source.hpp"
#include "gst/gst_support.hpp"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/gstvideodecoder.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace tavlomi {

namespace {

// Long enough for a slow decoder to preroll, short enough that a stuck source is noticed.
constexpr GstClockTime kStartTimeout = 5 * GST_SECOND;
// How long a failed start waits for GStreamer's reason to arrive.
constexpr GstClockTime kErrorMessageWait = GST_SECOND;
// How long opening a camera waits for its first frame, which shows that it really streams; most
// deliver within a second, the slow ones are not failed for it.
constexpr auto kFirstFrameWait = std::chrono::seconds(2);
constexpr GstClockTime kFirstFramePoll = 20 * GST_MSECOND;
constexpr const char* kByIdDirectory = "/dev/v4l/by-id";
constexpr const char* kRawVideo = "video/x-raw";
constexpr const char* kJpegVideo = "image/jpeg";

struct SampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
using SampleRef = std::unique_ptr<GstSample, SampleUnref>;

struct CapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using CapsRef = std::unique_ptr<GstCaps, CapsUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using OwnedText = std::unique_ptr<gchar, GFree>;

// Drops a reference that may still be floating.
void discardElement(GstElement* element) {
    if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
}

// A resource that could not be opened for want of rights: GStreamer says so outright, or its
// detail carries the system's own EACCES/EPERM text in the current locale.
bool isPermissionError(const GError* gerror, const gchar* debug) {
    if (gerror == nullptr || gerror->domain != GST_RESOURCE_ERROR) return false;
    if (gerror->code == GST_RESOURCE_ERROR_NOT_AUTHORIZED) return true;
    const bool opening = gerror->code == GST_RESOURCE_ERROR_OPEN_READ ||
                         gerror->code == GST_RESOURCE_ERROR_OPEN_WRITE ||
                         gerror->code == GST_RESOURCE_ERROR_OPEN_READ_WRITE;
    return opening && debug != nullptr &&
           (std::strstr(debug, g_strerror(EACCES)) != nullptr ||
            std::strstr(debug, g_strerror(EPERM)) != nullptr);
}

// GStreamer's text for an ERROR message, or the advice about the video group when the camera
// was refused for want of rights.
std::string describeError(GstMessage* message) {
    GError* gerror = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &gerror, &debug);
    const std::string text = isPermissionError(gerror, debug)
                                 ? permissionDeniedText()
                                 : tavlomi::describeError(gerror, debug);
    if (gerror != nullptr) g_error_free(gerror);
    g_free(debug);
    return text;
}

// Opens node the way v4l2src does and tells whether that is refused for want of rights.
bool nodeRefusesAccess(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EACCES || errno == EPERM;
}

bool isVideoPad(GstPad* pad) {
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
    bool video = false;
    if (caps != nullptr && gst_caps_get_size(caps) > 0) {
        const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        video = g_str_has_prefix(name, "video/");
    }
    if (caps != nullptr) gst_caps_unref(caps);
    return video;
}

// decodebin exposes its streams late: the first video stream feeds the conversion chain, every
// other stream ends in a fakesink so that it cannot stall the file.
void onDecodedPad(GstElement* decoder, GstPad* pad, gpointer chainHead) {
    GstElement* head = static_cast<GstElement*>(chainHead);
    GstPad* headSink = gst_element_get_static_pad(head, "sink");
    const bool useForVideo = !gst_pad_is_linked(headSink) && isVideoPad(pad);
    if (useForVideo && gst_pad_link(pad, headSink) == GST_PAD_LINK_OK) {
        gst_object_unref(headSink);
        return;
    }
    gst_object_unref(headSink);
    GstElement* bin = GST_ELEMENT(gst_element_get_parent(decoder));
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (bin != nullptr && sink != nullptr) {
        g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
        gst_bin_add(GST_BIN(bin), sink);
        GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
        gst_pad_link(pad, sinkPad);
        gst_object_unref(sinkPad);
        gst_element_sync_state_with_parent(sink);
    } else if (sink != nullptr) {
        gst_object_unref(sink);
    }
    if (bin != nullptr) gst_object_unref(bin);
}

void onDecoderComplete(GstElement* decoder, gpointer chainHead) {
    GstElement* head = static_cast<GstElement*>(chainHead);
    GstPad* headSink = gst_element_get_static_pad(head, "sink");
    const bool linked = gst_pad_is_linked(headSink);
    gst_object_unref(headSink);
    if (linked) return;
    GError* gerror = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_WRONG_TYPE,
                                         "the file has no video stream");
    gst_element_post_message(decoder, gst_message_new_error(GST_OBJECT(decoder), gerror, nullptr));
    g_error_free(gerror);
}

// ---- Capture modes out of caps ----

std::vector<std::string> stringsOf(const GValue* value) {
    std::vector<std::string> result;
    if (value == nullptr) {
        result.emplace_back();
    } else if (G_VALUE_HOLDS_STRING(value)) {
        result.emplace_back(g_value_get_string(value));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_STRING(item)) result.emplace_back(g_value_get_string(item));
        }
    }
    return result;
}

// The sizes a field allows: each listed one, or from a range the one nearest wanted; wanted
// itself when the field leaves the size open.
std::vector<int> sizesOf(const GValue* value, int wanted) {
    std::vector<int> result;
    if (value == nullptr) {
        result.push_back(wanted);
    } else if (G_VALUE_HOLDS_INT(value)) {
        result.push_back(g_value_get_int(value));
    } else if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        result.push_back(nearestInRange(wanted, gst_value_get_int_range_min(value),
                                        gst_value_get_int_range_max(value),
                                        gst_value_get_int_range_step(value)));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_INT(item)) result.push_back(g_value_get_int(item));
        }
    }
    return result;
}

FrameRate fractionOf(const GValue* value) {
    return {gst_value_get_fraction_numerator(value), gst_value_get_fraction_denominator(value)};
}

std::vector<FrameRate> ratesOf(const GValue* value) {
    std::vector<FrameRate> result;
    if (value == nullptr) {
        result.emplace_back();
    } else if (GST_VALUE_HOLDS_FRACTION(value)) {
        result.push_back(fractionOf(value));
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        result.push_back(rateInRange(fractionOf(gst_value_get_fraction_range_min(value)),
                                     fractionOf(gst_value_get_fraction_range_max(value))));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (GST_VALUE_HOLDS_FRACTION(item)) result.push_back(fractionOf(item));
        }
    }
    return result;
}

// Every raw or JPEG mode the caps allow in system memory, sizes from ranges taken nearest the
// grid.
std::vector<CaptureMode> modesOf(const GstCaps* caps, int width, int height) {
    std::vector<CaptureMode> modes;
    if (caps == nullptr || gst_caps_is_any(caps)) return modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        GstCapsFeatures* features = gst_caps_get_features(caps, i);
        if (features != nullptr && !gst_caps_features_is_any(features) &&
            !gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY)) {
            continue;
        }
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        const std::string mediaType = gst_structure_get_name(structure);
        if (mediaType != kRawVideo && mediaType != kJpegVideo) continue;
        const std::vector<std::string> formats =
            mediaType == kJpegVideo ? std::vector<std::string>{""}
                                    : stringsOf(gst_structure_get_value(structure, "format"));
        const std::vector<int> widths = sizesOf(gst_structure_get_value(structure, "width"), width);
        const std::vector<int> heights =
            sizesOf(gst_structure_get_value(structure, "height"), height);
        const std::vector<FrameRate> rates =
            ratesOf(gst_structure_get_value(structure, "framerate"));
        for (const std::string& format : formats) {
            for (const int w : widths) {
                for (const int h : heights) {
                    for (const FrameRate rate : rates)
                        modes.push_back({{mediaType, format}, w, h, rate});
                }
            }
        }
    }
    return modes;
}

GstCaps* capsFor(const CaptureMode& mode) {
    GstCaps* caps = gst_caps_new_simple(mode.format.mediaType.c_str(), "width", G_TYPE_INT,
                                        mode.width, "height", G_TYPE_INT, mode.height, nullptr);
    if (!mode.format.format.empty()) {
        gst_caps_set_simple(caps, "format", G_TYPE_STRING, mode.format.format.c_str(), nullptr);
    }
    if (mode.rate.num > 0 && mode.rate.den > 0) {
        gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, mode.rate.num, mode.rate.den,
                            nullptr);
    }
    return caps;
}

std::string describeMode(const CaptureMode& mode) {
    std::string text = mode.format.format.empty() ? mode.format.mediaType : mode.format.format;
    text += " " + std::to_string(mode.width) + " x " + std::to_string(mode.height);
    if (mode.rate.num > 0 && mode.rate.den > 0) {
        text += " at " + std::to_string(mode.rate.num) +
                (mode.rate.den == 1 ? std::string() : "/" + std::to_string(mode.rate.den)) + " fps";
    }
    return text;
}

}  // namespace

struct GstFrameSource::Pipeline {
    GstRef<GstElement> pipeline;
    GstRef<GstBus> bus;
    GstElement* head = nullptr;     // videoconvert, where the source is linked; owned by pipeline
    GstAppSink* appsink = nullptr;  // owned by pipeline
    int width = 0;
    int height = 0;
    bool loopsAtEnd = false;
    bool stopped = false;
    std::string sourceName;
    std::optional<CaptureMode> mode;
    SampleRef firstSample;  // taken while starting, handed out when nothing newer has come

    Pipeline() = default;
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    ~Pipeline() {
        if (pipeline) gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    // The fixed tail: videoconvert ! videoscale ! BGR caps of the grid size ! appsink, keeping
    // only the newest sample.
    static std::unique_ptr<Pipeline> create(int width, int height, bool sync, std::string& reason) {
        if (width <= 0 || height <= 0) {
            reason = "the picture size " + std::to_string(width) + " x " + std::to_string(height) +
                     " is not positive";
            return nullptr;
        }
        if (!ensureGstreamer(reason)) return nullptr;
        auto result = std::make_unique<Pipeline>();
        result->width = width;
        result->height = height;
        result->pipeline.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
        result->bus.reset(gst_element_get_bus(result->pipeline.get()));

        GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
        GstElement* scale = gst_element_factory_make("videoscale", nullptr);
        GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        if (convert == nullptr || scale == nullptr || filter == nullptr || sink == nullptr) {
            for (GstElement* element : {convert, scale, filter, sink})
                discardElement(element);
            reason =
                "a GStreamer element (videoconvert, videoscale, capsfilter or appsink) is "
                "missing";
            return nullptr;
        }
        // A camera of another aspect ratio is stretched to fill the whole grid rather than
        // letterboxed, so every cell shows picture and can see motion.
        g_object_set(scale, "add-borders", FALSE, nullptr);
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width",
                                            G_TYPE_INT, width, "height", G_TYPE_INT, height,
                                            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
        g_object_set(filter, "caps", caps, nullptr);
        gst_caps_unref(caps);

        GstAppSink* appsink = GST_APP_SINK(sink);
        gst_app_sink_set_max_buffers(appsink, 1);
        gst_app_sink_set_drop(appsink, TRUE);
        gst_base_sink_set_sync(GST_BASE_SINK(sink), sync ? TRUE : FALSE);
        gst_base_sink_set_last_sample_enabled(GST_BASE_SINK(sink), FALSE);

        gst_bin_add_many(GST_BIN(result->pipeline.get()), convert, scale, filter, sink, nullptr);
        if (!gst_element_link_many(convert, scale, filter, sink, nullptr)) {
            reason = "the conversion chain cannot be linked";
            return nullptr;
        }
        result->head = convert;
        result->appsink = appsink;
        return result;
    }

    // Takes ownership of source (a floating reference) and links it in front of the tail.
    bool addSource(GstElement* source, std::string& reason) {
        gst_bin_add(GST_BIN(pipeline.get()), source);
        if (!gst_element_link(source, head)) {
            reason = "it gives no video that can be converted";
            return false;
        }
        return true;
    }

    // GStreamer's reason for a failure that has just happened, waiting briefly for it.
    std::string errorReason(const std::string& otherwise) {
        if (MessageRef error{
                gst_bus_timed_pop_filtered(bus.get(), kErrorMessageWait, GST_MESSAGE_ERROR)}) {
            return describeError(error.get());
        }
        return otherwise;
    }

    // Takes ownership of source (a floating reference). Opens it when its caps are not offered,
    // asks it for the mode nearest the grid through a capsfilter, and decodes JPEG.
    bool addCamera(GstElement* source, CapsRef offered, std::string& reason) {
        gst_bin_add(GST_BIN(pipeline.get()), source);
        if (!offered) {
            if (gst_element_set_state(source, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
                reason = errorReason("it cannot be opened");
                return false;
            }
            if (GstPad* pad = gst_element_get_static_pad(source, "src")) {
                offered.reset(gst_pad_query_caps(pad, nullptr));
                gst_object_unref(pad);
            }
        }
        const std::vector<CaptureMode> modes = modesOf(offered.get(), width, height);
        GstElement* last = source;
        if (const std::optional<std::size_t> chosen = chooseCaptureMode(modes, width, height)) {
            mode = modes[*chosen];
            GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
            if (filter == nullptr) {
                reason = "the GStreamer element capsfilter is missing";
                return false;
            }
            GstCaps* caps = capsFor(*mode);
            g_object_set(filter, "caps", caps, nullptr);
            gst_caps_unref(caps);
            gst_bin_add(GST_BIN(pipeline.get()), filter);
            if (!gst_element_link(last, filter)) {
                reason = "it cannot deliver " + describeMode(*mode);
                return false;
            }
            last = filter;
            if (mode->format.mediaType == kJpegVideo) {
                GstElement* decoder = gst_element_factory_make("jpegdec", nullptr);
                if (decoder == nullptr) {
                    reason = "it sends JPEG and the GStreamer element jpegdec is missing";
                    return false;
                }
                // Webcams send the odd damaged frame; one is skipped, never the end of capture.
                if (GST_IS_VIDEO_DECODER(decoder)) {
                    gst_video_decoder_set_max_errors(GST_VIDEO_DECODER(decoder), -1);
                }
                gst_bin_add(GST_BIN(pipeline.get()), decoder);
                if (!gst_element_link(last, decoder)) {
                    reason = "its JPEG cannot be decoded";
                    return false;
                }
                last = decoder;
            }
        }
        if (!gst_element_link(last, head)) {
            reason = "it gives no video that can be converted";
            return false;
        }
        return true;
    }

    // Sets PLAYING and waits for the state change when it completes asynchronously, so that a
    // source that cannot start is reported here and not on the first frame.
    bool start(bool unsyncLive, std::string& reason) {
        GstStateChangeReturn state = gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        if (state == GST_STATE_CHANGE_ASYNC) {
            state = gst_element_get_state(pipeline.get(), nullptr, nullptr, kStartTimeout);
        }
        if (state == GST_STATE_CHANGE_NO_PREROLL && unsyncLive) {
            gst_base_sink_set_sync(GST_BASE_SINK(appsink), FALSE);
        }
        // A failed state change can be seen before the error that caused it reaches the bus.
        const GstClockTime errorWait =
            state == GST_STATE_CHANGE_FAILURE ? kErrorMessageWait : GstClockTime{0};
        if (MessageRef error{gst_bus_timed_pop_filtered(bus.get(), errorWait, GST_MESSAGE_ERROR)}) {
            reason = describeError(error.get());
            return false;
        }
        if (state == GST_STATE_CHANGE_FAILURE) {
            reason = "GStreamer could not start it";
            return false;
        }
        if (state == GST_STATE_CHANGE_ASYNC) {
            reason = "it did not start within " + std::to_string(kStartTimeout / GST_SECOND) +
                     " seconds";
            return false;
        }
        return true;
    }

    // For a camera pipeline, whose sink does not preroll: sets PLAYING and waits up to
    // kFirstFrameWait for the first frame or for the error that stops it. A camera that is merely
    // slow counts as started.
    bool startCamera(std::string& reason) {
        if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            reason = errorReason("GStreamer could not start it");
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + kFirstFrameWait;
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::optional<std::string> stop = pollStop()) {
                reason = std::move(*stop);
                return false;
            }
            firstSample.reset(gst_app_sink_try_pull_sample(appsink, kFirstFramePoll));
            if (firstSample) return true;
        }
        return true;
    }

    // Sets PLAYING without waiting; whatever goes wrong later reaches the bus.
    bool launch() {
        return gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    }

    // Never blocks. A file at its end is sought back to its start. Gives the reason once when
    // the source stops: its first error, or its end when it does not loop.
    std::optional<std::string> pollStop() {
        std::optional<std::string> reason;
        const auto wanted = static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
        while (MessageRef message{gst_bus_pop_filtered(bus.get(), wanted)}) {
            if (stopped) continue;
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
                reason = describeError(message.get());
            } else if (!loopsAtEnd) {
                reason = "the stream ended";
            } else {
                const auto flags =
                    static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT);
                if (gst_element_seek_simple(pipeline.get(), GST_FORMAT_TIME, flags, 0)) continue;
                reason = "it cannot be played again from its start";
            }
            stopped = true;
        }
        return reason;
    }

    // Turns GStreamer's top-down, row-padded BGR into bottom-up rows of exactly 3 * width bytes.
    bool repack(GstSample* sample, std::span<std::uint8_t> frameBuffer) const {
        const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
        if (frameBuffer.size() != rowBytes * static_cast<std::size_t>(height)) return false;
        GstCaps* caps = gst_sample_get_caps(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstVideoInfo info;
        if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps)) {
            return false;
        }
        if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR ||
            GST_VIDEO_INFO_WIDTH(&info) != width || GST_VIDEO_INFO_HEIGHT(&info) != height) {
            return false;
        }
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return false;
        const auto* pixels =
            static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        const std::ptrdiff_t stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
        for (int row = 0; row < height; ++row) {
            std::memcpy(frameBuffer.data() + static_cast<std::size_t>(height - 1 - row) * rowBytes,
                        pixels + row * stride, rowBytes);
        }
        gst_video_frame_unmap(&frame);
        return true;
    }

    bool pull(std::span<std::uint8_t> frameBuffer) {
        if (stopped) return false;
        SampleRef sample{gst_app_sink_try_pull_sample(appsink, 0)};
        if (!sample) sample = std::move(firstSample);
        firstSample.reset();
        if (!sample) return false;
        return repack(sample.get(), frameBuffer);
    }
};

struct GstFrameSource::ReopenAttempt {
    std::thread thread;
    std::atomic<bool> finished{false};
    std::unique_ptr<Pipeline> pipeline;  // launched; nullptr when nothing could be opened

    ReopenAttempt() = default;
    ReopenAttempt(const ReopenAttempt&) = delete;
    ReopenAttempt& operator=(const ReopenAttempt&) = delete;
    ~ReopenAttempt() {
        if (thread.joinable()) thread.join();
    }
};

namespace {

struct CameraList {
    GstRef<GstDeviceMonitor> monitor;
    GList* devices = nullptr;

    CameraList() {
        std::string ignored;
        if (!ensureGstreamer(ignored)) return;
        monitor.reset(gst_device_monitor_new());
        gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
        devices = gst_device_monitor_get_devices(monitor.get());
    }
    CameraList(const CameraList&) = delete;
    CameraList& operator=(const CameraList&) = delete;
    ~CameraList() { g_list_free_full(devices, gst_object_unref); }

    GstDevice* at(std::size_t index) const {
        GList* item = g_list_nth(devices, static_cast<guint>(index));
        return item != nullptr ? GST_DEVICE(item->data) : nullptr;
    }
    std::size_t size() const { return g_list_length(devices); }
    std::vector<CameraDevice> describe() const;
};

CameraDevice describeCamera(GstDevice* device) {
    CameraDevice info;
    const OwnedText name{gst_device_get_display_name(device)};
    if (name) info.name = name.get();
    if (GstStructure* properties = gst_device_get_properties(device)) {
        for (const char* key : {"device.path", "api.v4l2.path", "object.path"}) {
            const gchar* value = gst_structure_get_string(properties, key);
            if (value == nullptr) continue;
            std::string node = value;
            if (node.rfind("v4l2:", 0) == 0) node.erase(0, 5);
            if (node.rfind('/', 0) == 0) {
                info.node = node;
                break;
            }
        }
        guint deviceCaps = 0;
        if (gst_structure_get_uint(properties, "v4l2.device.device_caps", &deviceCaps)) {
            info.v4l2DeviceCaps = deviceCaps;
        }
        gst_structure_free(properties);
    }
    if (!info.node.empty()) info.byIdPaths = linksTo(info.node, kByIdDirectory);
    if (const CapsRef caps{gst_device_get_caps(device)}) {
        for (guint i = 0; i < gst_caps_get_size(caps.get()); ++i) {
            const GstStructure* structure = gst_caps_get_structure(caps.get(), i);
            const std::string mediaType = gst_structure_get_name(structure);
            for (std::string& format : stringsOf(gst_structure_get_value(structure, "format"))) {
                StreamFormat entry{mediaType, std::move(format)};
                if (std::find(info.formats.begin(), info.formats.end(), entry) ==
                    info.formats.end()) {
                    info.formats.push_back(std::move(entry));
                }
            }
        }
    }
    return info;
}

std::vector<CameraDevice> CameraList::describe() const {
    std::vector<CameraDevice> result;
    for (GList* item = devices; item != nullptr; item = item->next)
        result.push_back(describeCamera(GST_DEVICE(item->data)));
    return result;
}

bool isV4l2Source(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory != nullptr &&
           std::strcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "v4l2src") == 0;
}

GstFrameSource::MadeSource makeNodeSource(const std::string& node) {
    GstFrameSource::MadeSource made;
    made.label = node;
    if (nodeRefusesAccess(node)) {
        made.problem = permissionDeniedText();
        return made;
    }
    made.element = gst_element_factory_make("v4l2src", nullptr);
    if (made.element == nullptr) {
        made.problem = "the GStreamer element v4l2src is missing";
        return made;
    }
    g_object_set(made.element, "device", node.c_str(), nullptr);
    return made;
}

GstFrameSource::MadeSource makeDeviceSource(GstDevice* device, const CameraDevice& info) {
    GstFrameSource::MadeSource made;
    made.label = cameraLabel(info);
    made.element = gst_device_create_element(device, nullptr);
    if (made.element == nullptr) {
        made.problem = "GStreamer cannot make a source element for it";
        return made;
    }
    // Other providers (PipeWire) reach the camera through a service of their own.
    if (isV4l2Source(made.element) && !info.node.empty() && nodeRefusesAccess(info.node)) {
        discardElement(made.element);
        made.element = nullptr;
        made.problem = permissionDeniedText();
        return made;
    }
    made.offered = gst_device_get_caps(device);
    return made;
}

// Looks for the lost camera, else any colour camera; a node no monitor lists is tried directly.
GstFrameSource::SourceMaker returningCameraMaker(CameraDevice lost) {
    return [lost = std::move(lost)]() {
        const CameraList cameras;
        const std::vector<CameraDevice> now = cameras.describe();
        if (const std::optional<std::size_t> index = findReturningCamera(lost, now)) {
            return makeDeviceSource(cameras.at(*index), now[*index]);
        }
        if (now.empty() && !lost.node.empty() && ::access(lost.node.c_str(), F_OK) == 0) {
            return makeNodeSource(lost.node);
        }
        GstFrameSource::MadeSource none;
        none.label = cameraLabel(lost);
        none.problem = "it is not there";
        return none;
    };
}

}  // namespace

std::unique_ptr<GstFrameSource::Pipeline> GstFrameSource::buildCameraPipeline(MadeSource& made,
                                                                              int width, int height,
                                                                              std::string& reason) {
    CapsRef offered{std::exchange(made.offered, nullptr)};
    GstElement* element = std::exchange(made.element, nullptr);
    if (element == nullptr) {
        reason = made.problem.empty() ? "no source element was made" : made.problem;
        return nullptr;
    }
    // Frames are taken as they come: a camera is live and its clock is its own. The sink does
    // not wait for a first frame to change state, so that starting never blocks on the camera.
    auto pipeline = Pipeline::create(width, height, false, reason);
    if (!pipeline) {
        discardElement(element);
        return nullptr;
    }
    gst_base_sink_set_async_enabled(GST_BASE_SINK(pipeline->appsink), FALSE);
    pipeline->sourceName = made.label;
    if (!pipeline->addCamera(element, std::move(offered), reason)) return nullptr;
    return pipeline;
}

std::vector<CameraDevice> listCameras() {
    return CameraList().describe();
}

GstFrameSource::GstFrameSource(Key, std::unique_ptr<Pipeline> pipeline, Recovery recovery)
    : active_(std::move(pipeline)),
      recovery_(std::move(recovery)),
      width_(active_->width),
      height_(active_->height) {}

GstFrameSource::~GstFrameSource() = default;

std::unique_ptr<GstFrameSource> GstFrameSource::startPipeline(std::unique_ptr<Pipeline> pipeline,
                                                              bool unsyncLive,
                                                              const std::string& failurePrefix,
                                                              std::string& error) {
    std::string reason;
    if (!pipeline->start(unsyncLive, reason)) {
        error = failurePrefix + reason;
        return nullptr;
    }
    return std::make_unique<GstFrameSource>(Key{}, std::move(pipeline), Recovery{});
}

std::unique_ptr<GstFrameSource> GstFrameSource::openCameraSource(const SourceMaker& make,
                                                                 Recovery recovery, int width,
                                                                 int height, std::string& error) {
    std::string reason;
    if (!ensureGstreamer(reason)) {
        error = "cannot open camera: " + reason;
        return nullptr;
    }
    MadeSource made = make();
    const std::string prefix = "cannot open camera " + made.label + ": ";
    std::unique_ptr<Pipeline> pipeline = buildCameraPipeline(made, width, height, reason);
    if (!pipeline || !pipeline->startCamera(reason)) {
        error = prefix + reason;
        return nullptr;
    }
    return std::make_unique<GstFrameSource>(Key{}, std::move(pipeline), std::move(recovery));
}

std::unique_ptr<GstFrameSource> GstFrameSource::openCamera(std::size_t index, int width, int height,
                                                           std::string& error) {
    const std::string prefix = "cannot open camera " + std::to_string(index) + ": ";
    std::string reason;
    if (!ensureGstreamer(reason)) {
        error = prefix + reason;
        return nullptr;
    }
    const CameraList cameras;
    GstDevice* device = cameras.at(index);
    if (device == nullptr) {
        const std::size_t count = cameras.size();
        error = prefix + (count == 0 ? std::string("no video capture device was found")
                                     : "only " + std::to_string(count) + " video capture device" +
                                           (count == 1 ? " was" : "s were") + " found");
        return nullptr;
    }
    const CameraDevice chosen = describeCamera(device);
    return openCameraSource([&] { return makeDeviceSource(device, chosen); },
                            Recovery{returningCameraMaker(chosen)}, width, height, error);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openDevice(const std::string& node, int width,
                                                           int height, std::string& error) {
    CameraDevice identity;
    identity.node = node;
    identity.byIdPaths = linksTo(node, kByIdDirectory);
    for (CameraDevice& listed : listCameras()) {
        if (listed.node == node) identity = std::move(listed);
    }
    return openCameraSource([&] { return makeNodeSource(node); },
                            Recovery{returningCameraMaker(std::move(identity))}, width, height,
                            error);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openVideoFile(const std::string& path, int width,
                                                              int height, std::string& error) {
    const std::string prefix = "cannot open video file " + path + ": ";
    std::string reason;
    auto pipeline = Pipeline::create(width, height, true, reason);
    if (!pipeline) {
        error = prefix + reason;
        return nullptr;
    }
    pipeline->sourceName = path;
    pipeline->loopsAtEnd = true;
    GstElement* file = gst_element_factory_make("filesrc", nullptr);
    GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
    if (file == nullptr || decoder == nullptr) {
        for (GstElement* element : {file, decoder})
            discardElement(element);
        error = prefix + "the GStreamer element filesrc or decodebin is missing";
        return nullptr;
    }
    g_object_set(file, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline->pipeline.get()), file, decoder, nullptr);
    if (!gst_element_link(file, decoder)) {
        error = prefix + "the file cannot be linked to a decoder";
        return nullptr;
    }
    g_signal_connect(decoder, "pad-added", G_CALLBACK(onDecodedPad), pipeline->head);
    g_signal_connect(decoder, "no-more-pads", G_CALLBACK(onDecoderComplete), pipeline->head);
    return startPipeline(std::move(pipeline), false, prefix, error);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openLaunchSource(const std::string& description,
                                                                 int width, int height,
                                                                 std::string& error) {
    const std::string prefix = "cannot open source \"" + description + "\": ";
    std::string reason;
    auto pipeline = Pipeline::create(width, height, true, reason);
    if (!pipeline) {
        error = prefix + reason;
        return nullptr;
    }
    pipeline->sourceName = "\"" + description + "\"";
    GError* gerror = nullptr;
    GstElement* source = gst_parse_bin_from_description(description.c_str(), TRUE, &gerror);
    if (source == nullptr || gerror != nullptr) {
        error = prefix + (gerror != nullptr ? gerror->message : "it cannot be parsed");
        if (gerror != nullptr) g_error_free(gerror);
        discardElement(source);
        return nullptr;
    }
    if (!pipeline->addSource(source, reason)) {
        error = prefix + reason;
        return nullptr;
    }
    return startPipeline(std::move(pipeline), true, prefix, error);
}

bool GstFrameSource::copyNewestFrame(std::span<std::uint8_t> frameBuffer) {
    if (active_) {
        const std::optional<std::string> stop = active_->pollStop();
        if (!stop) return active_->pull(frameBuffer);
        if (!recovery_.reopen) {
            std::fprintf(stderr, "video source %s stopped: %s\n", active_->sourceName.c_str(),
                         stop->c_str());
            return false;
        }
        lostLabel_ = active_->sourceName;
        std::fprintf(stderr,
                     "camera %s was lost: %s; the picture stays still until a camera is back\n",
                     lostLabel_.c_str(), stop->c_str());
        retired_.push_back(std::move(active_));
        nextAttempt_ = Clock::now() + recovery_.retryInterval;
    }
    return recovery_.reopen ? recover(frameBuffer) : false;
}

bool GstFrameSource::recover(std::span<std::uint8_t> frameBuffer) {
    const Clock::time_point now = Clock::now();
    if (attempt_ && attempt_->finished.load(std::memory_order_acquire)) {
        candidate_ = std::move(attempt_->pipeline);
        attempt_.reset();
        if (candidate_) {
            candidateDeadline_ = now + recovery_.patience;
        } else {
            nextAttempt_ = now + recovery_.retryInterval;
        }
    }
    if (candidate_) {
        const bool failed = candidate_->pollStop().has_value() || candidate_->stopped;
        if (failed || now >= candidateDeadline_) {
            retired_.push_back(std::move(candidate_));
            nextAttempt_ = now + recovery_.retryInterval;
        } else if (candidate_->pull(frameBuffer)) {
            active_ = std::move(candidate_);
            if (active_->sourceName == lostLabel_) {
                std::fprintf(stderr, "camera %s is back\n", lostLabel_.c_str());
            } else {
                std::fprintf(stderr, "camera %s is used in place of the lost camera %s\n",
                             active_->sourceName.c_str(), lostLabel_.c_str());
            }
            return true;
        }
    }
    if (!attempt_ && !candidate_ && now >= nextAttempt_) startReopenAttempt();
    return false;
}

void GstFrameSource::startReopenAttempt() {
    auto attempt = std::make_unique<ReopenAttempt>();
    ReopenAttempt* target = attempt.get();
    std::vector<std::unique_ptr<Pipeline>> dead = std::move(retired_);
    retired_.clear();
    attempt->thread = std::thread([target, dead = std::move(dead), make = recovery_.reopen,
                                   width = width_, height = height_]() mutable {
        // The old pipeline may still hold the device the new one is about to open.
        dead.clear();
        MadeSource made = make();
        std::string ignored;
        std::unique_ptr<Pipeline> pipeline = buildCameraPipeline(made, width, height, ignored);
        if (pipeline && pipeline->launch()) target->pipeline = std::move(pipeline);
        target->finished.store(true, std::memory_order_release);
    });
    attempt_ = std::move(attempt);
}

std::optional<CaptureMode> GstFrameSource::captureMode() const {
    if (!active_) return std::nullopt;
    return active_->mode;
}

}  // namespace tavlomi
