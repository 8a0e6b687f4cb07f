#pragma once

// Owning references to GStreamer's objects, messages, samples, buffers, caps and strings, released
// when they go out of scope.

#include <gst/gst.h>

#include <memory>

namespace tavlomi {

struct ObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <class T>
using GstRef = std::unique_ptr<T, ObjectUnref>;

// An element as factories hand it out: its reference may still be floating until a bin takes it.
struct FloatingUnref {
    void operator()(GstElement* element) const { gst_object_unref(gst_object_ref_sink(element)); }
};
using FloatingRef = std::unique_ptr<GstElement, FloatingUnref>;

struct MessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessageRef = std::unique_ptr<GstMessage, MessageUnref>;

struct SampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
using SampleRef = std::unique_ptr<GstSample, SampleUnref>;

struct BufferUnref {
    void operator()(GstBuffer* buffer) const { gst_buffer_unref(buffer); }
};
using BufferRef = std::unique_ptr<GstBuffer, BufferUnref>;

struct CapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
using CapsRef = std::unique_ptr<GstCaps, CapsUnref>;

struct TextFree {
    void operator()(gchar* text) const { g_free(text); }
};
using OwnedText = std::unique_ptr<gchar, TextFree>;

}  // namespace tavlomi
