#include "capture/gst_frame_source.hpp"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace tavlomi {

namespace {

// Long enough for a slow decoder to preroll, short enough that a stuck source is noticed.
constexpr GstClockTime kStartTimeout = 5 * GST_SECOND;
// How long a failed start waits for GStreamer's reason to arrive.
constexpr GstClockTime kErrorMessageWait = GST_SECOND;

struct ObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <class T>
using GstRef = std::unique_ptr<T, ObjectUnref>;

struct MessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessageRef = std::unique_ptr<GstMessage, MessageUnref>;

struct SampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
using SampleRef = std::unique_ptr<GstSample, SampleUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using OwnedText = std::unique_ptr<gchar, GFree>;

bool ensureGstreamer(std::string& reason) {
    if (gst_is_initialized()) return true;
    GError* gerror = nullptr;
    if (gst_init_check(nullptr, nullptr, &gerror)) return true;
    reason = gerror != nullptr ? gerror->message : "GStreamer cannot be initialised";
    if (gerror != nullptr) g_error_free(gerror);
    return false;
}

// GStreamer's text for an ERROR message, with the last line of its debug detail when there is
// one: that line usually names the system's own reason ("No such file ...").
std::string describeError(GstMessage* message) {
    GError* gerror = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &gerror, &debug);
    std::string text = gerror != nullptr ? gerror->message : "unknown error";
    if (debug != nullptr) {
        const std::string detail(debug);
        const std::size_t lastBreak = detail.rfind('\n');
        if (lastBreak != std::string::npos && lastBreak + 1 < detail.size()) {
            text += " (" + detail.substr(lastBreak + 1) + ")";
        }
    }
    if (gerror != nullptr) g_error_free(gerror);
    g_free(debug);
    return text;
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

}  // namespace

struct GstFrameSource::Pipeline {
    GstRef<GstElement> pipeline;
    GstRef<GstBus> bus;
    GstElement* head = nullptr;     // videoconvert, where the source is linked; owned by pipeline
    GstAppSink* appsink = nullptr;  // owned by pipeline
    int width = 0;
    int height = 0;
    bool loopsAtEnd = false;
    bool failed = false;
    std::string sourceName;

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
            for (GstElement* element : {convert, scale, filter, sink}) {
                if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
            }
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

    // Never blocks: a file at its end is sought back to its start; the first error is reported
    // once and ends delivery.
    void drainBus() {
        const auto wanted = static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
        while (MessageRef message{gst_bus_pop_filtered(bus.get(), wanted)}) {
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
                if (!failed) {
                    std::fprintf(stderr, "video source %s stopped: %s\n", sourceName.c_str(),
                                 describeError(message.get()).c_str());
                }
                failed = true;
            } else if (loopsAtEnd && !failed) {
                const auto flags =
                    static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT);
                if (!gst_element_seek_simple(pipeline.get(), GST_FORMAT_TIME, flags, 0)) {
                    std::fprintf(stderr, "video file %s cannot be played again from its start\n",
                                 sourceName.c_str());
                }
            }
        }
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

    bool copyNewestFrame(std::span<std::uint8_t> frameBuffer) {
        drainBus();
        if (failed) return false;
        const SampleRef sample{gst_app_sink_try_pull_sample(appsink, 0)};
        if (!sample) return false;
        return repack(sample.get(), frameBuffer);
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
};

CameraInfo describeCamera(GstDevice* device) {
    CameraInfo info;
    const OwnedText name{gst_device_get_display_name(device)};
    if (name) info.name = name.get();
    if (GstStructure* properties = gst_device_get_properties(device)) {
        for (const char* key : {"device.path", "api.v4l2.path", "object.path"}) {
            if (const gchar* node = gst_structure_get_string(properties, key)) {
                info.node = node;
                break;
            }
        }
        gst_structure_free(properties);
    }
    return info;
}

}  // namespace

std::vector<CameraInfo> listCameras() {
    const CameraList cameras;
    std::vector<CameraInfo> result;
    for (GList* item = cameras.devices; item != nullptr; item = item->next) {
        result.push_back(describeCamera(GST_DEVICE(item->data)));
    }
    return result;
}

GstFrameSource::GstFrameSource(Key, std::unique_ptr<Pipeline> pipeline)
    : pipeline_(std::move(pipeline)) {}

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
    return std::make_unique<GstFrameSource>(Key{}, std::move(pipeline));
}

std::unique_ptr<GstFrameSource> GstFrameSource::openCamera(std::size_t index, int width, int height,
                                                           std::string& error) {
    std::string reason;
    std::string label = std::to_string(index);
    const std::string prefix = "cannot open camera ";
    auto pipeline = Pipeline::create(width, height, false, reason);
    if (!pipeline) {
        error = prefix + label + ": " + reason;
        return nullptr;
    }
    const CameraList cameras;
    GList* item = g_list_nth(cameras.devices, static_cast<guint>(index));
    if (item == nullptr) {
        const guint count = g_list_length(cameras.devices);
        error = prefix + label + ": " +
                (count == 0 ? std::string("no video capture device was found")
                            : "only " + std::to_string(count) + " video capture device" +
                                  (count == 1 ? " was" : "s were") + " found");
        return nullptr;
    }
    GstDevice* device = GST_DEVICE(item->data);
    const CameraInfo info = describeCamera(device);
    label = !info.node.empty() ? info.node : info.name;
    pipeline->sourceName = label;
    GstElement* source = gst_device_create_element(device, nullptr);
    if (source == nullptr) {
        error = prefix + label + ": GStreamer cannot make a source element for it";
        return nullptr;
    }
    if (!pipeline->addSource(source, reason)) {
        error = prefix + label + ": " + reason;
        return nullptr;
    }
    return startPipeline(std::move(pipeline), false, prefix + label + ": ", error);
}

std::unique_ptr<GstFrameSource> GstFrameSource::openDevice(const std::string& path, int width,
                                                           int height, std::string& error) {
    const std::string prefix = "cannot open camera " + path + ": ";
    std::string reason;
    auto pipeline = Pipeline::create(width, height, false, reason);
    if (!pipeline) {
        error = prefix + reason;
        return nullptr;
    }
    pipeline->sourceName = path;
    GstElement* source = gst_element_factory_make("v4l2src", nullptr);
    if (source == nullptr) {
        error = prefix + "the GStreamer element v4l2src is missing";
        return nullptr;
    }
    g_object_set(source, "device", path.c_str(), nullptr);
    if (!pipeline->addSource(source, reason)) {
        error = prefix + reason;
        return nullptr;
    }
    return startPipeline(std::move(pipeline), false, prefix, error);
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
        for (GstElement* element : {file, decoder}) {
            if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
        }
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
        if (source != nullptr) gst_object_unref(gst_object_ref_sink(source));
        return nullptr;
    }
    if (!pipeline->addSource(source, reason)) {
        error = prefix + reason;
        return nullptr;
    }
    return startPipeline(std::move(pipeline), true, prefix, error);
}

bool GstFrameSource::copyNewestFrame(std::span<std::uint8_t> frameBuffer) {
    return pipeline_->copyNewestFrame(frameBuffer);
}

}  // namespace tavlomi
