#include "gst/gst_virtual_camera.hpp"

#include <utility>

#include "gst/gst_support.hpp"
#include "gst/pipewire_node_process.hpp"

namespace tavlomi {

namespace {

using Clock = std::chrono::steady_clock;

// The start of tick n of the output's rate, counted from start without drifting.
Clock::time_point tickTime(Clock::time_point start, std::int64_t n) {
    return start + std::chrono::nanoseconds(n * 1'000'000'000 / kVirtualCameraFramesPerSecond);
}

FloatingRef makeDeviceSink(const std::string& device, std::string& reason) {
    FloatingRef sink{gst_element_factory_make("v4l2sink", nullptr)};
    if (!sink) reason = "the GStreamer element v4l2sink is missing";
    if (sink) g_object_set(sink.get(), "device", device.c_str(), "sync", FALSE, nullptr);
    return sink;
}

}  // namespace

std::string pipewireProblem() {
    std::string reason;
    if (!ensureGstreamer(reason)) return "GStreamer cannot start (" + reason + ")";
    const FloatingRef sink{gst_element_factory_make("pipewiresink", nullptr)};
    if (!sink) return "the GStreamer element pipewiresink is missing (gstreamer1.0-pipewire)";
    // pipewiresink connects to the daemon when it opens, before any frame.
    const GstStateChangeReturn state = gst_element_set_state(sink.get(), GST_STATE_READY);
    gst_element_set_state(sink.get(), GST_STATE_NULL);
    return state == GST_STATE_CHANGE_FAILURE ? "no PipeWire daemon answers" : "";
}

std::unique_ptr<GstVirtualCamera> GstVirtualCamera::open(const VirtualCameraPlan& plan,
                                                         int screenWidth, int screenHeight,
                                                         NoticeSink& notices,
                                                         std::vector<std::string>& failures) {
    std::vector<RouteMaker> makers;
    if (plan.pipewire) {
        makers.push_back({std::string("PipeWire node \"") + kVirtualCameraName + "\"",
                          [width = plan.width, height = plan.height](std::string& reason) {
                              return makePipeWireNodeSink(width, height, reason);
                          }});
    }
    if (!plan.device.empty()) {
        makers.push_back({plan.device, [device = plan.device](std::string& reason) {
                              return makeDeviceSink(device, reason);
                          }});
    }
    return openRoutes(std::move(makers), {screenWidth, screenHeight, plan.width, plan.height},
                      notices, failures);
}

std::unique_ptr<GstVirtualCamera> GstVirtualCamera::openRoutes(std::vector<RouteMaker> makers,
                                                               VirtualCameraRoute::Shape shape,
                                                               NoticeSink& notices,
                                                               std::vector<std::string>& failures) {
    std::vector<Route> routes;
    for (RouteMaker& maker : makers) {
        std::string reason;
        auto running = VirtualCameraRoute::open(maker.makeSink(reason), maker.label, shape, reason);
        if (!running) {
            failures.push_back("cannot send the virtual camera to " + maker.label + ": " + reason);
            continue;
        }
        routes.push_back({std::move(maker), std::move(running), {}});
    }
    if (routes.empty()) return nullptr;
    return std::make_unique<GstVirtualCamera>(Key{}, std::move(routes), shape, notices);
}

GstVirtualCamera::GstVirtualCamera(Key, std::vector<Route> routes, VirtualCameraRoute::Shape shape,
                                   NoticeSink& notices)
    : routes_(std::move(routes)),
      shape_(shape),
      notices_(notices),
      newest_(static_cast<std::size_t>(shape.screenWidth) *
              static_cast<std::size_t>(shape.screenHeight)) {
    for (const Route& route : routes_)
        where_ += (where_.empty() ? "" : " and ") + route.maker.label;
    sender_ = std::thread([this] { send(); });
}

GstVirtualCamera::~GstVirtualCamera() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    sender_.join();
}

void GstVirtualCamera::offer(std::vector<std::uint32_t>& screen) {
    newest_.put(screen);
    raised_.deliver(notices_);
}

// Once a tick: the newest screen, or the last one again when the loop offered none since, goes
// to every running route; a tick that comes late is not made up for.
void GstVirtualCamera::send() {
    std::vector<std::uint32_t> screen(static_cast<std::size_t>(shape_.screenWidth) *
                                      static_cast<std::size_t>(shape_.screenHeight));
    BufferRef current;
    const Clock::time_point start = Clock::now();
    for (std::int64_t tick = 1;; ++tick) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (wake_.wait_until(lock, tickTime(start, tick), [this] { return stopping_; })) {
                return;
            }
        }
        while (tickTime(start, tick + 1) <= Clock::now())
            ++tick;
        if (newest_.take(screen)) {
            const gsize bytes = screen.size() * sizeof(std::uint32_t);
            current.reset(gst_buffer_new_allocate(nullptr, bytes, nullptr));
            gst_buffer_fill(current.get(), 0, screen.data(), bytes);
            GST_BUFFER_DURATION(current.get()) = GST_SECOND / kVirtualCameraFramesPerSecond;
        }
        if (!current) continue;
        for (Route& route : routes_)
            serve(route, current.get());
    }
}

void GstVirtualCamera::serve(Route& route, GstBuffer* screen) {
    if (route.running) {
        if (const std::optional<std::string> error = route.running->pollError()) {
            raised_.post("virtual camera " + route.maker.label + " stopped: " + *error +
                         "; trying again every " + std::to_string(kRetryInterval.count() / 1000) +
                         " seconds");
            route.running.reset();
            route.retryAt = Clock::now() + kRetryInterval;
            return;
        }
        route.running->push(screen);
        return;
    }
    if (Clock::now() < route.retryAt) return;
    std::string ignored;
    route.running =
        VirtualCameraRoute::open(route.maker.makeSink(ignored), route.maker.label, shape_, ignored);
    if (route.running) {
        raised_.post("virtual camera " + route.maker.label + " is back");
    } else {
        route.retryAt = Clock::now() + kRetryInterval;
    }
}

}  // namespace tavlomi
