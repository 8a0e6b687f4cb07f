#pragma once

// The system's cameras as GStreamer's device monitor sees them (class Video/Source), described
// for the core's choices, and the source elements that open them.

#include <gst/gst.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "capture/camera_choice.hpp"
#include "gst/frame_pipeline.hpp"
#include "gst/gst_ref.hpp"

namespace tavlomi {

// The devices at the moment of construction, in the monitor's order; empty when GStreamer cannot
// start or finds none.
class CameraList {
  public:
    CameraList();
    CameraList(const CameraList&) = delete;
    CameraList& operator=(const CameraList&) = delete;

    // With their formats, V4L2 device bits and /dev/v4l/by-id links.
    const std::vector<CameraDevice>& devices() const { return described_; }

    // A source for the device at index < devices().size(); refused for want of rights, without
    // making an element, when it is a V4L2 node the user may not open.
    MadeSource makeSource(std::size_t index) const;

  private:
    GstRef<GstDeviceMonitor> monitor_;
    std::vector<GstRef<GstDevice>> devices_;
    std::vector<CameraDevice> described_;
};

std::vector<CameraDevice> listCameras();

// The (last) listed device at node; else one known only by its node and by-id links.
CameraDevice describeNode(const std::string& node);

// A v4l2src for a device node, refused like CameraList::makeSource's.
MadeSource makeNodeSource(const std::string& node);

// Makes a source for the lost camera once it is listed again, else for any colour camera; a node
// that no monitor lists is tried directly.
std::function<MadeSource()> returningCameraMaker(CameraDevice lost);

}  // namespace tavlomi
