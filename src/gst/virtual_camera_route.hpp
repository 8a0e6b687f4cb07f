#pragma once

// One way out for the virtual camera, a pipeline of its own so that one route's trouble never
// touches another's:
//   appsrc ! [videocrop] ! videoconvert ! YUY2 ! [identity] ! SINK
// It takes screens of pixel words 0x00RRGGBB (top row first) and sends them as YUY2 of an even
// size, BT.601 with limited range. The conversion is stated so that a consumer can check it:
// each pixel's luma, and each pixel pair's chroma taken from its left pixel, are within 1 of the
// exact BT.601 values. Pushing never waits: a route whose consumer is slow or gone keeps only the
// newest screens and drops the older ones.

#include <gst/gst.h>

#include <memory>
#include <optional>
#include <string>

#include "gst/gst_ref.hpp"

namespace tavlomi {

class VirtualCameraRoute {
  public:
    // Screens that may wait in a route before the oldest is dropped.
    static constexpr int kQueueScreens = 2;

    struct Shape {
        int screenWidth, screenHeight;  // what is pushed
        int width, height;              // what goes out: even, at most the screen's size
    };

    // Builds and starts the route into sink (the PipeWire node process's pipe, v4l2sink or a
    // test's sink). nullptr with reason set when a GStreamer element is missing or the sink
    // cannot start; an empty sink keeps the reason its maker gave.
    static std::unique_ptr<VirtualCameraRoute> open(FloatingRef sink, std::string label,
                                                    Shape shape, std::string& reason);
    ~VirtualCameraRoute();
    VirtualCameraRoute(const VirtualCameraRoute&) = delete;
    VirtualCameraRoute& operator=(const VirtualCameraRoute&) = delete;

    // Queues screen (a buffer of screenWidth x screenHeight words; a reference is taken),
    // stamped with the running time now. Never waits.
    void push(GstBuffer* screen);

    // The first error since the last call, never waiting; nullopt while the route runs.
    std::optional<std::string> pollError();

    const std::string& label() const { return label_; }

  private:
    struct Key {
        explicit Key() = default;
    };

  public:
    VirtualCameraRoute(Key, std::string label);

  private:
    bool build(FloatingRef sink, Shape shape, std::string& reason);
    bool start(std::string& reason);

    std::string label_;
    GstRef<GstElement> pipeline_;
    GstRef<GstBus> bus_;
    GstElement* appsrc_ = nullptr;  // owned by pipeline_
};

}  // namespace tavlomi
