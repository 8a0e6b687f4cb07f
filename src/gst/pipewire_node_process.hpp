#pragma once

// The virtual camera's PipeWire node lives in a process of its own: the toy started again as
// `tavlomi --pipewire-node W H`, reading YUY2 frames from a pipe. PipeWire's GStreamer sink can
// crash its process when a consumer connects while it is copying a frame (seen with PipeWire
// 0.3.65); in a process of its own that costs the node a restart, never the game. Its pipe
// breaking is a route failure like any other, and the route is opened again.

#include <string>

#include "gst/gst_ref.hpp"

namespace tavlomi {

// The first argument that starts a node process; not for people.
inline constexpr const char* kPipeWireNodeArgument = "--pipewire-node";

// An fdsink into a new node process for frames of width x height YUY2. The process is ended
// and waited for when the sink is finalized. Empty with reason set when it cannot start. The
// caller ignores SIGPIPE, so that a node process that dies fails the sink's write instead of
// ending the toy.
FloatingRef makePipeWireNodeSink(int width, int height, std::string& reason);

// The node process: frames from standard input go out as the PipeWire node named Tavlomi until
// the input ends (status 0) or the node fails (a line on stderr, status 1).
int runPipeWireNode(int width, int height);

// The node's sink, for the node process and for asking whether a daemon answers.
FloatingRef makePipeWireSink();

}  // namespace tavlomi
