#pragma once

// Small pieces every GStreamer user of the toy needs: starting GStreamer once, and turning an
// error into a sentence for a person.

#include <gst/gst.h>

#include <memory>
#include <string>

namespace tavlomi {

// Owning references to GStreamer objects and messages, released when they go out of scope.
struct ObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <class T>
using GstRef = std::unique_ptr<T, ObjectUnref>;

struct MessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessageRef = std::unique_ptr<GstMessage, MessageUnref>;

// Initialises GStreamer when it is not yet; false with reason set when it cannot start.
bool ensureGstreamer(std::string& reason);

// The error's own text, with the last line of its debug detail when there is one: that line
// usually names the system's reason ("No such file ...").
std::string describeError(const GError* gerror, const gchar* debug);

}  // namespace tavlomi
