#include "gst/gst_recorder.hpp"
#include "gst/gst_ref.hpp"
#include "gst/gst_support.hpp"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <utility>

namespace tavlomi {

namespace {

// How long a failed start waits for GStreamer's reason to reach the bus.
constexpr GstClockTime kErrorMessageWait = GST_SECOND;
// The step of EveryFrame's wait for room in the queue.
constexpr GstClockTime kRoomPollStep = 2 * GST_MSECOND;

// One way to encode a container's video; the first whose element exists is used.
struct EncoderChoice {
    const char* element;
    const char* package;
    bool needsEvenSides;
};

struct Container {
    const char* suffix;
    const char* formatName;
    const char* muxer;
    const char* muxerPackage;
    std::span<const EncoderChoice> encoders;
};

constexpr EncoderChoice kWebmEncoders[] = {{"vp8enc", "gstreamer1.0-plugins-good", false}};
constexpr EncoderChoice kMp4Encoders[] = {{"x264enc", "gstreamer1.0-plugins-ugly", true},
                                          {"avenc_mpeg4", "gstreamer1.0-libav", false}};
constexpr Container kContainers[] = {
    {".webm", "WebM", "webmmux", "gstreamer1.0-plugins-good", kWebmEncoders},
    {".mp4", "MP4", "mp4mux", "gstreamer1.0-plugins-good", kMp4Encoders},
};

std::string lowercaseSuffix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string suffix = path.substr(dot);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return suffix;
}

// Sets a property from its text form when the element has it; encoders differ between versions.
void setIfPresent(GstElement* element, const char* name, const std::string& value) {
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), name) != nullptr) {
        gst_util_set_object_arg(G_OBJECT(element), name, value.c_str());
    }
}

// About 0.2 bits a pixel: enough for the effects' busy pictures without huge files.
std::int64_t bitsPerSecond(int width, int height, int framesPerSecond) {
    const std::int64_t bits = static_cast<std::int64_t>(width) * height * framesPerSecond / 5;
    return std::clamp<std::int64_t>(bits, 250'000, 20'000'000);
}

void configureEncoder(GstElement* encoder, const std::string& name, int width, int height,
                      int framesPerSecond) {
    const std::int64_t bits = bitsPerSecond(width, height, framesPerSecond);
    const std::string keyframeDistance = std::to_string(2 * framesPerSecond);
    if (name == "vp8enc") {
        setIfPresent(encoder, "deadline", "1");
        setIfPresent(encoder, "cpu-used", "4");
        setIfPresent(encoder, "target-bitrate", std::to_string(bits));
        setIfPresent(encoder, "keyframe-max-dist", keyframeDistance);
    } else if (name == "x264enc") {
        setIfPresent(encoder, "speed-preset", "veryfast");
        setIfPresent(encoder, "tune", "zerolatency");
        setIfPresent(encoder, "bitrate", std::to_string(bits / 1000));
        setIfPresent(encoder, "key-int-max", keyframeDistance);
    } else {
        setIfPresent(encoder, "bitrate", std::to_string(bits));
        setIfPresent(encoder, "gop-size", keyframeDistance);
    }
}

GstClockTime frameTime(std::int64_t interval, int framesPerSecond) {
    return gst_util_uint64_scale(static_cast<guint64>(interval), GST_SECOND,
                                 static_cast<guint64>(framesPerSecond));
}

// The container path's suffix names, once the size and the rate are known to be usable;
// nullptr with reason otherwise.
const Container* checkRequest(const std::string& path, int width, int height, int framesPerSecond,
                              std::string& reason) {
    if (width <= 0 || height <= 0) {
        reason = "the picture size " + std::to_string(width) + " x " + std::to_string(height) +
                 " is not positive";
        return nullptr;
    }
    if (framesPerSecond <= 0 || framesPerSecond > GstRecorder::kMaxFramesPerSecond) {
        reason = "the frame rate " + std::to_string(framesPerSecond) + " is outside 1.." +
                 std::to_string(GstRecorder::kMaxFramesPerSecond);
        return nullptr;
    }
    const std::string suffix = lowercaseSuffix(path);
    for (const Container& container : kContainers) {
        if (suffix == container.suffix) return &container;
    }
    reason = "the file name must end in .webm or .mp4 to choose the video format";
    return nullptr;
}

}  // namespace

struct GstRecorder::Pipeline {
    GstRef<GstElement> pipeline;
    GstRef<GstBus> bus;
    GstAppSrc* appsrc = nullptr;  // owned by pipeline
    guint64 queueBytes = 0;

    Pipeline() {
        pipeline.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
        bus.reset(gst_element_get_bus(pipeline.get()));
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    ~Pipeline() { gst_element_set_state(pipeline.get(), GST_STATE_NULL); }

    bool queueFull() const { return gst_app_src_get_current_level_bytes(appsrc) >= queueBytes; }

    // Each element goes into the bin at once, so the bin owns it whatever fails later.
    GstElement* add(const char* factory) {
        GstElement* element = gst_element_factory_make(factory, nullptr);
        if (element != nullptr) gst_bin_add(GST_BIN(pipeline.get()), element);
        return element;
    }

    // The first of container's encoders that is installed, added as encoder; nullptr with reason
    // naming every one and its package when none is.
    const EncoderChoice* addEncoder(const Container& container, GstElement*& encoder,
                                    std::string& reason) {
        for (const EncoderChoice& candidate : container.encoders) {
            encoder = add(candidate.element);
            if (encoder != nullptr) return &candidate;
        }
        std::string wanted;
        for (const EncoderChoice& candidate : container.encoders) {
            wanted += std::string(wanted.empty() ? "" : " or ") + candidate.element + " (" +
                      candidate.package + ")";
        }
        reason = std::string("no ") + (container.suffix + 1) +
                 " video encoder is installed: it needs " + wanted;
        return nullptr;
    }

    // appsrc taking pixel words of width x height at framesPerSecond, queueing at most
    // kQueueFrames of them.
    void configureSource(GstElement* source, int width, int height, int framesPerSecond) {
        // Pixel words 0x00RRGGBB are B, G, R, x in memory on a little-endian machine.
        const char* wordFormat = G_BYTE_ORDER == G_LITTLE_ENDIAN ? "BGRx" : "xRGB";
        const CapsRef caps{gst_caps_new_simple(
            "video/x-raw", "format", G_TYPE_STRING, wordFormat, "width", G_TYPE_INT, width,
            "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, framesPerSecond, 1,
            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr)};
        const guint64 frameBytes = 4 * static_cast<guint64>(width) * static_cast<guint64>(height);
        queueBytes = frameBytes * kQueueFrames;
        appsrc = GST_APP_SRC(source);
        gst_app_src_set_caps(appsrc, caps.get());
        gst_app_src_set_stream_type(appsrc, GST_APP_STREAM_TYPE_STREAM);
        gst_app_src_set_max_bytes(appsrc, queueBytes);
        g_object_set(source, "format", GST_FORMAT_TIME, "is-live", FALSE, "block", FALSE, nullptr);
    }

    // The recording chain's elements around the encoder; crop is nullptr when nothing is cropped.
    struct Chain {
        GstElement* source = nullptr;
        GstElement* crop = nullptr;
        GstElement* convert = nullptr;
        GstElement* format = nullptr;
        GstElement* muxer = nullptr;
        GstElement* sink = nullptr;
    };

    // Adds the elements of chain, videocrop only when cropped; false with reason naming a missing
    // one.
    bool addElements(const Container& container, bool cropped, Chain& chain, std::string& reason) {
        chain.source = add("appsrc");
        chain.convert = add("videoconvert");
        chain.format = add("capsfilter");
        chain.muxer = add(container.muxer);
        chain.sink = add("filesink");
        if (chain.muxer == nullptr) {
            reason = std::string("the GStreamer element ") + container.muxer + " is missing (" +
                     container.muxerPackage + ")";
            return false;
        }
        if (chain.source == nullptr || chain.convert == nullptr || chain.format == nullptr ||
            chain.sink == nullptr) {
            reason =
                "a GStreamer element (appsrc, videoconvert, capsfilter or filesink) is missing";
            return false;
        }
        if (!cropped) return true;
        chain.crop = add("videocrop");
        if (chain.crop == nullptr) {
            reason = "the GStreamer element videocrop is missing (gstreamer1.0-plugins-good)";
            return false;
        }
        return true;
    }

    // appsrc ! [videocrop] ! videoconvert ! I420 ! encoder ! muxer ! filesink, configured and
    // linked; an odd last column and row are cropped for an encoder that needs even sides.
    bool addChain(const Container& container, const EncoderChoice& choice, GstElement* encoder,
                  const std::string& path, int width, int height, int framesPerSecond,
                  std::string& reason) {
        const int cropRight = choice.needsEvenSides ? width % 2 : 0;
        const int cropBottom = choice.needsEvenSides ? height % 2 : 0;
        if (width - cropRight <= 0 || height - cropBottom <= 0) {
            reason = std::string(choice.element) + " needs a picture of at least 2 x 2";
            return false;
        }
        Chain chain;
        if (!addElements(container, cropRight != 0 || cropBottom != 0, chain, reason)) return false;
        if (chain.crop != nullptr) {
            g_object_set(chain.crop, "right", cropRight, "bottom", cropBottom, nullptr);
        }
        configureSource(chain.source, width, height, framesPerSecond);
        const CapsRef i420{
            gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", nullptr)};
        g_object_set(chain.format, "caps", i420.get(), nullptr);
        configureEncoder(encoder, choice.element, width - cropRight, height - cropBottom,
                         framesPerSecond);
        g_object_set(chain.sink, "location", path.c_str(), nullptr);
        const bool linked =
            chain.crop != nullptr
                ? gst_element_link_many(chain.source, chain.crop, chain.convert, chain.format,
                                        encoder, chain.muxer, chain.sink, nullptr)
                : gst_element_link_many(chain.source, chain.convert, chain.format, encoder,
                                        chain.muxer, chain.sink, nullptr);
        if (!linked) {
            reason = std::string("the recording chain through ") + choice.element + " and " +
                     container.muxer + " cannot be linked";
        }
        return linked;
    }

    // The pipeline prerolls only when the first frame arrives, so success here is an
    // asynchronous state change; files that cannot be opened fail at once.
    bool start(std::string& reason) {
        const GstStateChangeReturn state = gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        const GstClockTime errorWait =
            state == GST_STATE_CHANGE_FAILURE ? kErrorMessageWait : GstClockTime{0};
        if (MessageRef message{
                gst_bus_timed_pop_filtered(bus.get(), errorWait, GST_MESSAGE_ERROR)}) {
            reason = describeErrorMessage(message.get());
            return false;
        }
        if (state == GST_STATE_CHANGE_FAILURE) {
            reason = "GStreamer could not start the recording";
            return false;
        }
        return true;
    }
};

std::unique_ptr<GstRecorder> GstRecorder::open(const std::string& path, int width, int height,
                                               int framesPerSecond, Pacing pacing,
                                               std::string& error) {
    const std::string prefix = "cannot record to " + path + ": ";
    std::string reason;
    const Container* container = checkRequest(path, width, height, framesPerSecond, reason);
    if (container == nullptr || !ensureGstreamer(reason)) {
        error = prefix + reason;
        return nullptr;
    }
    auto pipeline = std::make_unique<Pipeline>();
    GstElement* encoder = nullptr;
    const EncoderChoice* choice = pipeline->addEncoder(*container, encoder, reason);
    if (choice == nullptr ||
        !pipeline->addChain(*container, *choice, encoder, path, width, height, framesPerSecond,
                            reason) ||
        !pipeline->start(reason)) {
        error = prefix + reason;
        return nullptr;
    }
    return std::make_unique<GstRecorder>(Key{}, std::move(pipeline), width, height, framesPerSecond,
                                         pacing, path, choice->element);
}

GstRecorder::GstRecorder(Key, std::unique_ptr<Pipeline> pipeline, int width, int height,
                         int framesPerSecond, Pacing pacing, std::string path,
                         std::string encoderName)
    : pipeline_(std::move(pipeline)),
      width_(width),
      height_(height),
      framesPerSecond_(framesPerSecond),
      pacing_(pacing),
      path_(std::move(path)),
      encoderName_(std::move(encoderName)),
      pacer_(framesPerSecond) {}

GstRecorder::~GstRecorder() {
    finish();
}

void GstRecorder::fail(std::string reason) {
    if (error_.empty()) error_ = "recording to " + path_ + " failed: " + std::move(reason);
}

bool GstRecorder::checkFailure() {
    if (!error_.empty()) return true;
    if (MessageRef message{gst_bus_pop_filtered(pipeline_->bus.get(), GST_MESSAGE_ERROR)}) {
        fail(describeErrorMessage(message.get()));
    }
    return !error_.empty();
}

bool GstRecorder::waitForRoom() {
    GstClockTime waited = 0;
    while (pipeline_->queueFull()) {
        if (waited >= kStallSeconds * GST_SECOND) {
            fail("the encoder took no frame for " + std::to_string(kStallSeconds) + " seconds");
            return false;
        }
        if (MessageRef message{gst_bus_timed_pop_filtered(pipeline_->bus.get(), kRoomPollStep,
                                                          GST_MESSAGE_ERROR)}) {
            fail(describeErrorMessage(message.get()));
            return false;
        }
        waited += kRoomPollStep;
    }
    return true;
}

bool GstRecorder::pushFrame(std::span<const std::uint32_t> pixels) {
    if (finished_ || checkFailure()) return false;
    if (pixels.size() != static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)) {
        ++framesLeftOut_;
        return false;
    }
    std::int64_t interval = framesQueued_;
    if (pacing_ == Pacing::RealTime) {
        const auto now = std::chrono::steady_clock::now();
        if (!start_) start_ = now;
        const std::optional<std::int64_t> taken = pacer_.take(now - *start_);
        if (!taken || pipeline_->queueFull()) {
            ++framesLeftOut_;
            return false;
        }
        interval = *taken;
    } else if (!waitForRoom()) {
        return false;
    }

    const gsize bytes = pixels.size_bytes();
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, pixels.data(), bytes);
    const GstClockTime stamp = frameTime(interval, framesPerSecond_);
    GST_BUFFER_PTS(buffer) = stamp;
    GST_BUFFER_DURATION(buffer) = frameTime(interval + 1, framesPerSecond_) - stamp;
    const GstFlowReturn flow = gst_app_src_push_buffer(pipeline_->appsrc, buffer);
    if (flow != GST_FLOW_OK) {
        if (!checkFailure())
            fail(std::string("the stream stopped (") + gst_flow_get_name(flow) + ")");
        return false;
    }
    ++framesQueued_;
    return true;
}

bool GstRecorder::finish() {
    if (finished_) return finishedCleanly_;
    finished_ = true;
    if (!checkFailure()) {
        gst_app_src_end_of_stream(pipeline_->appsrc);
        const auto wanted = static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
        MessageRef message{
            gst_bus_timed_pop_filtered(pipeline_->bus.get(), kFinishSeconds * GST_SECOND, wanted)};
        if (!message) {
            fail("the file was not finalised within " + std::to_string(kFinishSeconds) +
                 " seconds and may be incomplete");
        } else if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            fail(describeErrorMessage(message.get()));
        } else {
            finishedCleanly_ = true;
        }
    }
    gst_element_set_state(pipeline_->pipeline.get(), GST_STATE_NULL);
    return finishedCleanly_;
}

}  // namespace tavlomi
