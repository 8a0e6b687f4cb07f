#include "gst/frame_pipeline.hpp"

#include <gst/video/gstvideodecoder.h>
#include <gst/video/video.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "capture/camera_choice.hpp"
#include "gst/gst_support.hpp"
#include "gst/offered_caps.hpp"

namespace tavlomi {

namespace {

// Long enough for a slow decoder to preroll, short enough that a stuck source is noticed.
constexpr GstClockTime kStartTimeout = 5 * GST_SECOND;
// How long a failed start waits for GStreamer's reason to arrive.
constexpr GstClockTime kErrorMessageWait = GST_SECOND;
// The step of a camera's wait for its first frame.
constexpr GstClockTime kFirstFramePoll = 20 * GST_MSECOND;

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

// GStreamer's text for an ERROR message, or the advice about the video group when the source
// was refused for want of rights.
std::string describeSourceError(GstMessage* message) {
    GError* gerror = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &gerror, &debug);
    const std::string text =
        isPermissionError(gerror, debug) ? permissionDeniedText() : describeError(gerror, debug);
    if (gerror != nullptr) g_error_free(gerror);
    g_free(debug);
    return text;
}

bool isVideoPad(GstPad* pad) {
    CapsRef caps{gst_pad_get_current_caps(pad)};
    if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
    if (!caps || gst_caps_get_size(caps.get()) == 0) return false;
    return g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)),
                            "video/");
}

// decodebin exposes its streams late: the first video stream feeds the conversion chain, every
// other stream ends in a fakesink so that it cannot stall the file.
void onDecodedPad(GstElement* decoder, GstPad* pad, gpointer chainHead) {
    const GstRef<GstPad> headSink{gst_element_get_static_pad(GST_ELEMENT(chainHead), "sink")};
    const bool useForVideo = !gst_pad_is_linked(headSink.get()) && isVideoPad(pad);
    if (useForVideo && gst_pad_link(pad, headSink.get()) == GST_PAD_LINK_OK) return;
    const GstRef<GstElement> bin{GST_ELEMENT(gst_element_get_parent(decoder))};
    FloatingRef sink{gst_element_factory_make("fakesink", nullptr)};
    if (!bin || !sink) return;
    g_object_set(sink.get(), "sync", FALSE, "async", FALSE, nullptr);
    GstElement* added = sink.release();
    gst_bin_add(GST_BIN(bin.get()), added);
    const GstRef<GstPad> sinkPad{gst_element_get_static_pad(added, "sink")};
    gst_pad_link(pad, sinkPad.get());
    gst_element_sync_state_with_parent(added);
}

void onDecoderComplete(GstElement* decoder, gpointer chainHead) {
    const GstRef<GstPad> headSink{gst_element_get_static_pad(GST_ELEMENT(chainHead), "sink")};
    if (gst_pad_is_linked(headSink.get())) return;
    GError* gerror = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_WRONG_TYPE,
                                         "the file has no video stream");
    gst_element_post_message(decoder, gst_message_new_error(GST_OBJECT(decoder), gerror, nullptr));
    g_error_free(gerror);
}

}  // namespace

FramePipeline::FramePipeline(Key, int width, int height, std::string label)
    : width_(width), height_(height), label_(std::move(label)) {}

FramePipeline::~FramePipeline() {
    if (pipeline_) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
}

std::unique_ptr<FramePipeline> FramePipeline::create(int width, int height, std::string label,
                                                     std::string& reason) {
    if (width <= 0 || height <= 0) {
        reason = "the picture size " + std::to_string(width) + " x " + std::to_string(height) +
                 " is not positive";
        return nullptr;
    }
    if (!ensureGstreamer(reason)) return nullptr;
    auto result = std::make_unique<FramePipeline>(Key{}, width, height, std::move(label));
    result->pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    result->bus_.reset(gst_element_get_bus(result->pipeline_.get()));
    return result;
}

// The fixed tail: videoconvert ! videoscale ! BGR caps of the grid size ! appsink, keeping only
// the newest sample.
bool FramePipeline::buildTail(bool sync, std::string& reason) {
    FloatingRef convert{gst_element_factory_make("videoconvert", nullptr)};
    FloatingRef scale{gst_element_factory_make("videoscale", nullptr)};
    FloatingRef filter{gst_element_factory_make("capsfilter", nullptr)};
    FloatingRef sink{gst_element_factory_make("appsink", nullptr)};
    if (!convert || !scale || !filter || !sink) {
        reason = "a GStreamer element (videoconvert, videoscale, capsfilter or appsink) is missing";
        return false;
    }
    // A camera of another aspect ratio is stretched to fill the whole grid rather than
    // letterboxed, so every cell shows picture and can see motion.
    g_object_set(scale.get(), "add-borders", FALSE, nullptr);
    const CapsRef caps{gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width",
                                           G_TYPE_INT, width_, "height", G_TYPE_INT, height_,
                                           "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr)};
    g_object_set(filter.get(), "caps", caps.get(), nullptr);
    appsink_ = GST_APP_SINK(sink.get());
    gst_app_sink_set_max_buffers(appsink_, 1);
    gst_app_sink_set_drop(appsink_, TRUE);
    gst_base_sink_set_sync(GST_BASE_SINK(appsink_), sync ? TRUE : FALSE);
    gst_base_sink_set_last_sample_enabled(GST_BASE_SINK(appsink_), FALSE);

    head_ = convert.get();
    GstElement* const chain[] = {convert.release(), scale.release(), filter.release(),
                                 sink.release()};
    for (GstElement* element : chain)
        gst_bin_add(GST_BIN(pipeline_.get()), element);
    if (!gst_element_link_many(chain[0], chain[1], chain[2], chain[3], nullptr)) {
        reason = "the conversion chain cannot be linked";
        return false;
    }
    return true;
}

std::unique_ptr<FramePipeline> FramePipeline::forCamera(MadeSource made, int width, int height,
                                                        std::string& reason) {
    if (!made.element) {
        reason = made.problem.empty() ? "no source element was made" : made.problem;
        return nullptr;
    }
    // Frames are taken as they come: a camera is live and its clock is its own. The sink does
    // not wait for a first frame to change state, so that starting never blocks on the camera.
    auto result = create(width, height, made.label, reason);
    if (!result || !result->buildTail(false, reason)) return nullptr;
    gst_base_sink_set_async_enabled(GST_BASE_SINK(result->appsink_), FALSE);
    result->quietLimit_ = made.quietLimit;
    if (!result->addCamera(made.element.release(), std::move(made.offered), reason)) return nullptr;
    return result;
}

std::unique_ptr<FramePipeline> FramePipeline::forVideoFile(const std::string& path, int width,
                                                           int height, std::string& reason) {
    auto result = create(width, height, path, reason);
    if (!result || !result->buildTail(true, reason) || !result->addDecoder(path, reason)) {
        return nullptr;
    }
    result->loopsAtEnd_ = true;
    return result;
}

std::unique_ptr<FramePipeline> FramePipeline::forLaunch(const std::string& description, int width,
                                                        int height, std::string& reason) {
    auto result = create(width, height, "\"" + description + "\"", reason);
    if (!result || !result->buildTail(true, reason)) return nullptr;
    result->unsyncLive_ = true;
    GError* gerror = nullptr;
    FloatingRef source{gst_parse_bin_from_description(description.c_str(), TRUE, &gerror)};
    if (!source || gerror != nullptr) {
        reason = gerror != nullptr ? gerror->message : "it cannot be parsed";
        if (gerror != nullptr) g_error_free(gerror);
        return nullptr;
    }
    GstElement* added = source.release();
    gst_bin_add(GST_BIN(result->pipeline_.get()), added);
    if (!gst_element_link(added, result->head_)) {
        reason = "it gives no video that can be converted";
        return nullptr;
    }
    return result;
}

bool FramePipeline::addDecoder(const std::string& path, std::string& reason) {
    FloatingRef file{gst_element_factory_make("filesrc", nullptr)};
    FloatingRef decoder{gst_element_factory_make("decodebin", nullptr)};
    if (!file || !decoder) {
        reason = "the GStreamer element filesrc or decodebin is missing";
        return false;
    }
    g_object_set(file.get(), "location", path.c_str(), nullptr);
    g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(onDecodedPad), head_);
    g_signal_connect(decoder.get(), "no-more-pads", G_CALLBACK(onDecoderComplete), head_);
    GstElement* const chain[] = {file.release(), decoder.release()};
    gst_bin_add_many(GST_BIN(pipeline_.get()), chain[0], chain[1], nullptr);
    if (!gst_element_link(chain[0], chain[1])) {
        reason = "the file cannot be linked to a decoder";
        return false;
    }
    return true;
}

// GStreamer's reason for a failure that has just happened, waiting briefly for it.
std::string FramePipeline::errorReason(const std::string& otherwise) {
    if (MessageRef error{
            gst_bus_timed_pop_filtered(bus_.get(), kErrorMessageWait, GST_MESSAGE_ERROR)}) {
        return describeSourceError(error.get());
    }
    return otherwise;
}

// Takes ownership of source (a floating reference). Its caps are asked of it in READY when they
// were not offered beforehand.
bool FramePipeline::addCamera(GstElement* source, CapsRef offered, std::string& reason) {
    gst_bin_add(GST_BIN(pipeline_.get()), source);
    if (!offered) {
        if (gst_element_set_state(source, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
            reason = errorReason("it cannot be opened");
            return false;
        }
        if (const GstRef<GstPad> pad{gst_element_get_static_pad(source, "src")}) {
            offered.reset(gst_pad_query_caps(pad.get(), nullptr));
        }
    }
    const std::vector<CaptureMode> modes =
        offeredModes(readOfferedCaps(offered.get()), width_, height_);
    GstElement* last = source;
    if (const std::optional<std::size_t> chosen = chooseCaptureMode(modes, width_, height_)) {
        mode_ = modes[*chosen];
        if (!addModeRequest(last, reason)) return false;
    }
    if (!gst_element_link(last, head_)) {
        reason = "it gives no video that can be converted";
        return false;
    }
    return true;
}

// A capsfilter asking for mode_ after last, and jpegdec after it for JPEG; last moves to the end.
bool FramePipeline::addModeRequest(GstElement*& last, std::string& reason) {
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    if (filter == nullptr) {
        reason = "the GStreamer element capsfilter is missing";
        return false;
    }
    gst_bin_add(GST_BIN(pipeline_.get()), filter);
    const CapsRef caps{gst_caps_from_string(capsText(*mode_).c_str())};
    if (caps) g_object_set(filter, "caps", caps.get(), nullptr);
    if (!caps || !gst_element_link(last, filter)) {
        reason = "it cannot deliver " + describeMode(*mode_);
        return false;
    }
    last = filter;
    if (mode_->format.mediaType != kJpegImage) return true;
    GstElement* decoder = gst_element_factory_make("jpegdec", nullptr);
    if (decoder == nullptr) {
        reason = "it sends JPEG and the GStreamer element jpegdec is missing";
        return false;
    }
    // Webcams send the odd damaged frame; one is skipped, never the end of capture.
    if (GST_IS_VIDEO_DECODER(decoder)) {
        gst_video_decoder_set_max_errors(GST_VIDEO_DECODER(decoder), -1);
    }
    gst_bin_add(GST_BIN(pipeline_.get()), decoder);
    if (!gst_element_link(last, decoder)) {
        reason = "its JPEG cannot be decoded";
        return false;
    }
    last = decoder;
    return true;
}

bool FramePipeline::start(std::string& reason) {
    GstStateChangeReturn state = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    if (state == GST_STATE_CHANGE_ASYNC) {
        state = gst_element_get_state(pipeline_.get(), nullptr, nullptr, kStartTimeout);
    }
    if (state == GST_STATE_CHANGE_NO_PREROLL && unsyncLive_) {
        gst_base_sink_set_sync(GST_BASE_SINK(appsink_), FALSE);
    }
    // A failed state change can be seen before the error that caused it reaches the bus.
    const GstClockTime errorWait =
        state == GST_STATE_CHANGE_FAILURE ? kErrorMessageWait : GstClockTime{0};
    if (MessageRef error{gst_bus_timed_pop_filtered(bus_.get(), errorWait, GST_MESSAGE_ERROR)}) {
        reason = describeSourceError(error.get());
        return false;
    }
    if (state == GST_STATE_CHANGE_FAILURE) {
        reason = "GStreamer could not start it";
        return false;
    }
    if (state == GST_STATE_CHANGE_ASYNC) {
        reason =
            "it did not start within " + std::to_string(kStartTimeout / GST_SECOND) + " seconds";
        return false;
    }
    return true;
}

FramePipeline::CameraStart FramePipeline::startCamera(std::chrono::milliseconds wait,
                                                      const std::atomic<bool>& cancel,
                                                      std::string& reason) {
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        reason = errorReason("GStreamer could not start it");
        return CameraStart::Failed;
    }
    lastFrame_ = std::chrono::steady_clock::now();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline && !cancel.load()) {
        if (std::optional<std::string> stop = pollStop()) {
            reason = std::move(*stop);
            return CameraStart::Failed;
        }
        firstSample_.reset(gst_app_sink_try_pull_sample(appsink_, kFirstFramePoll));
        if (firstSample_) {
            lastFrame_ = std::chrono::steady_clock::now();
            return CameraStart::Streaming;
        }
    }
    return CameraStart::Waiting;
}

std::optional<std::string> FramePipeline::pollStop() {
    std::optional<std::string> reason;
    const auto wanted = static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
    while (MessageRef message{gst_bus_pop_filtered(bus_.get(), wanted)}) {
        if (stopped_) continue;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            reason = describeSourceError(message.get());
        } else if (!loopsAtEnd_) {
            reason = "the stream ended";
        } else {
            const auto flags =
                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT);
            if (gst_element_seek_simple(pipeline_.get(), GST_FORMAT_TIME, flags, 0)) continue;
            reason = "it cannot be played again from its start";
        }
        stopped_ = true;
    }
    if (!stopped_ && quietLimit_ && std::chrono::steady_clock::now() - lastFrame_ > *quietLimit_) {
        reason = "it sent nothing for " + std::to_string(quietLimit_->count() / 1000) + " seconds";
        stopped_ = true;
    }
    return reason;
}

bool FramePipeline::pull(MappedSample& into) {
    if (stopped_) return false;
    SampleRef sample{gst_app_sink_try_pull_sample(appsink_, 0)};
    if (!sample) sample = std::move(firstSample_);
    firstSample_.reset();
    if (!sample) return false;
    lastFrame_ = std::chrono::steady_clock::now();
    return into.hold(std::move(sample), width_, height_);
}

}  // namespace tavlomi
