#pragma once

// The virtual camera: the screens the frame loop offers go out through every route of a
// VirtualCameraPlan (a PipeWire node, a V4L2 loopback device) at a steady 30 frames a second,
// always the newest screen and stamped with the time it goes out. A thread of its own paces
// and pushes, so the frame loop never waits for a route or its consumers. A route that fails
// (its daemon or device gone) is reopened every kRetryInterval; both are told through the
// NoticeSink, delivered by offer() on the frame loop's thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/newest_screen.hpp"
#include "common/notice_queue.hpp"
#include "common/notice_sink.hpp"
#include "common/virtual_camera_plan.hpp"
#include "gst/gst_ref.hpp"
#include "gst/virtual_camera_route.hpp"

namespace tavlomi {

class GstVirtualCamera {
  public:
    static constexpr std::chrono::milliseconds kRetryInterval{2000};

    // How a route's sink is made, again after each failure.
    struct RouteMaker {
        std::string label;  // e.g. "/dev/video4"
        // Empty, with reason set, when the sink cannot be made.
        std::function<FloatingRef(std::string& reason)> makeSink;
    };

    // Opens the plan's routes for screens of screenWidth x screenHeight. Each route that cannot
    // start adds a sentence to failures; nullptr when none started.
    static std::unique_ptr<GstVirtualCamera> open(const VirtualCameraPlan& plan, int screenWidth,
                                                  int screenHeight, NoticeSink& notices,
                                                  std::vector<std::string>& failures);
    // The same for any sinks, e.g. a test's.
    static std::unique_ptr<GstVirtualCamera> openRoutes(std::vector<RouteMaker> makers,
                                                        VirtualCameraRoute::Shape shape,
                                                        NoticeSink& notices,
                                                        std::vector<std::string>& failures);

    // Stops sending; the routes' pipelines stop.
    ~GstVirtualCamera();
    GstVirtualCamera(const GstVirtualCamera&) = delete;
    GstVirtualCamera& operator=(const GstVirtualCamera&) = delete;

    // Frame loop: hands screen (screenWidth x screenHeight pixel words 0x00RRGGBB, top row
    // first) over by swapping it with a buffer of the same size (see NewestScreen::put), and
    // delivers the notices raised since the last call. Never waits for a route.
    void offer(std::vector<std::uint32_t>& screen);

    // The routes that started, e.g. "PipeWire node "Tavlomi" and /dev/video4".
    const std::string& where() const { return where_; }

  private:
    struct Route {
        RouteMaker maker;
        std::unique_ptr<VirtualCameraRoute> running;  // nullptr while it is down
        std::chrono::steady_clock::time_point retryAt;
    };
    struct Key {
        explicit Key() = default;
    };

  public:
    GstVirtualCamera(Key, std::vector<Route> routes, VirtualCameraRoute::Shape shape,
                     NoticeSink& notices);

  private:
    void send();
    void serve(Route& route, GstBuffer* screen);

    std::vector<Route> routes_;  // the sending thread's alone once it runs
    VirtualCameraRoute::Shape shape_;
    std::string where_;
    NoticeSink& notices_;
    NoticeQueue raised_;
    NewestScreen newest_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread sender_;  // last member: started after everything it uses
};

// Empty when a PipeWire daemon answers through pipewiresink; else why the PipeWire route cannot
// be had.
std::string pipewireProblem();

}  // namespace tavlomi
