#pragma once

// What every GStreamer user of the toy needs: starting GStreamer once, and turning an error into
// a sentence for a person.

#include <gst/gst.h>

#include <string>

namespace tavlomi {

// Initialises GStreamer when it is not yet; false with reason set when it cannot start.
bool ensureGstreamer(std::string& reason);

// The error's own text, with the last line of its debug detail when there is one: that line
// usually names the system's reason ("No such file ...").
std::string describeError(const GError* gerror, const gchar* debug);

// describeError() of an ERROR message.
std::string describeErrorMessage(GstMessage* message);

}  // namespace tavlomi
