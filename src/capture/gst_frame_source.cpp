#include "capture/gst_frame_source.hpp"
