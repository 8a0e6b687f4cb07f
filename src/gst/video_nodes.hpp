#pragma once

// The system's V4L2 device nodes as VIDIOC_QUERYCAP describes them, so that a loopback device
// is found by its driver and its capabilities, never by its number.

#include <vector>

#include "common/virtual_camera_plan.hpp"

namespace tavlomi {

// /dev/videoN nodes that answer VIDIOC_QUERYCAP, by ascending N.
std::vector<VideoNode> listVideoNodes();

}  // namespace tavlomi
