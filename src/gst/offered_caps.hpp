#pragma once

// The caps a source offers, read into the core's plain descriptions so that the choice of a
// capture mode needs no GStreamer.

#include <gst/gst.h>

#include <vector>

#include "capture/capture_mode.hpp"

namespace tavlomi {

// One entry per caps structure, in order; empty for ANY, empty or null caps.
std::vector<OfferedStream> readOfferedCaps(const GstCaps* caps);

}  // namespace tavlomi
