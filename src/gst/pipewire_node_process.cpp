#include "gst/pipewire_node_process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>

#include "common/virtual_camera_plan.hpp"
#include "gst/gst_support.hpp"

extern char** environ;

namespace tavlomi {

namespace {

// The node process and the write end of its input, owned by the fdsink that writes into it.
struct NodeProcess {
    NodeProcess(pid_t processId, int writeEnd) : pid(processId), input(writeEnd) {}
    NodeProcess(const NodeProcess&) = delete;
    NodeProcess& operator=(const NodeProcess&) = delete;
    pid_t pid;
    int input;
    ~NodeProcess() {
        close(input);
        kill(pid, SIGTERM);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
};

void endNodeProcess(gpointer process) {
    std::unique_ptr<NodeProcess>(static_cast<NodeProcess*>(process));
}

std::string errnoText(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

}  // namespace

FloatingRef makePipeWireSink() {
    FloatingRef sink{gst_element_factory_make("pipewiresink", nullptr)};
    if (!sink) return sink;
    // Calls list cameras by their description; the portal that browsers ask shows them only
    // nodes whose role is Camera.
    GstStructure* properties =
        gst_structure_new("props", "media.class", G_TYPE_STRING, "Video/Source", "media.role",
                          G_TYPE_STRING, "Camera", "node.name", G_TYPE_STRING, kVirtualCameraName,
                          "node.description", G_TYPE_STRING, kVirtualCameraName, nullptr);
    g_object_set(sink.get(), "stream-properties", properties, "client-name", kVirtualCameraName,
                 "sync", FALSE, nullptr);
    gst_structure_free(properties);
    gst_util_set_object_arg(G_OBJECT(sink.get()), "mode", "provide");
    return sink;
}

FloatingRef makePipeWireNodeSink(int width, int height, std::string& reason) {
    FloatingRef sink{gst_element_factory_make("fdsink", nullptr)};
    if (!sink) {
        reason = "the GStreamer element fdsink is missing";
        return sink;
    }
    std::array<char, 4096> self{};
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) {
        reason = errnoText("cannot find the toy's own program", errno);
        return {};
    }
    std::array<int, 2> pipeEnds{};
    if (pipe2(pipeEnds.data(), O_CLOEXEC) != 0) {
        reason = errnoText("cannot make a pipe", errno);
        return {};
    }
    const std::string widthText = std::to_string(width);
    const std::string heightText = std::to_string(height);
    std::array<char*, 5> argv = {self.data(), const_cast<char*>(kPipeWireNodeArgument),
                                 const_cast<char*>(widthText.c_str()),
                                 const_cast<char*>(heightText.c_str()), nullptr};
    // Only the pipe's read end, as standard input, and the standard outputs go with it: never
    // the camera's or the display's descriptors.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, self.data(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (spawnError != 0) {
        close(pipeEnds[1]);
        reason = errnoText("cannot start the PipeWire node process", spawnError);
        return {};
    }
    g_object_set(sink.get(), "fd", pipeEnds[1], "sync", FALSE, nullptr);
    auto process = std::make_unique<NodeProcess>(pid, pipeEnds[1]);
    g_object_set_data_full(G_OBJECT(sink.get()), "tavlomi-node-process", process.release(),
                           endNodeProcess);
    return sink;
}

int runPipeWireNode(int width, int height) {
    std::string reason;
    if (!ensureGstreamer(reason)) {
        std::cerr << "tavlomi: the PipeWire node cannot start GStreamer: " << reason << "\n";
        return 1;
    }
    const GstRef<GstElement> pipeline{GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr)))};
    GstElement* input = gst_element_factory_make("fdsrc", nullptr);
    GstElement* parse = gst_element_factory_make("rawvideoparse", nullptr);
    GstElement* copy = gst_element_factory_make("identity", nullptr);
    GstElement* sink = makePipeWireSink().release();
    if (input == nullptr || parse == nullptr || copy == nullptr || sink == nullptr) {
        std::cerr << "tavlomi: the PipeWire node needs fdsrc, rawvideoparse, identity and "
                     "pipewiresink\n";
        for (GstElement* element : {input, parse, copy, sink})
            if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
        return 1;
    }
    g_object_set(input, "fd", STDIN_FILENO, nullptr);
    g_object_set(parse, "width", width, "height", height, "colorimetry", "bt601", nullptr);
    gst_util_set_object_arg(G_OBJECT(parse), "format", "yuy2");
    gst_util_set_object_arg(G_OBJECT(parse), "framerate",
                            (std::to_string(kVirtualCameraFramesPerSecond) + "/1").c_str());
    // Asked for its pool, pipewiresink sizes its buffers before it knows the frame's size and
    // hands its consumers empty ones; frames it copies into a pool of its own sizing are whole.
    g_object_set(copy, "drop-allocation", TRUE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), input, parse, copy, sink, nullptr);
    if (!gst_element_link_many(input, parse, copy, sink, nullptr)) {
        std::cerr << "tavlomi: the PipeWire node cannot take YUY2 of " << width << " x " << height
                  << "\n";
        return 1;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const GstRef<GstBus> bus{gst_element_get_bus(pipeline.get())};
    const MessageRef message{gst_bus_timed_pop_filtered(
        bus.get(), GST_CLOCK_TIME_NONE,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))};
    int status = 0;
    if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
        std::cerr << "tavlomi: the PipeWire node stopped: " << describeErrorMessage(message.get())
                  << "\n";
        status = 1;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return status;
}

}  // namespace tavlomi
