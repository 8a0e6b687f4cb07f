#include "gst/mapped_sample.hpp"

#include <cstring>
#include <utility>

namespace tavlomi {

bool MappedSample::hold(SampleRef sample, int width, int height) {
    release();
    if (!sample) return false;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstVideoInfo info;
    if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps)) {
        return false;
    }
    if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR ||
        GST_VIDEO_INFO_WIDTH(&info) != width || GST_VIDEO_INFO_HEIGHT(&info) != height) {
        return false;
    }
    if (!gst_video_frame_map(&frame_, &info, buffer, GST_MAP_READ)) return false;
    sample_ = std::move(sample);
    return true;
}

void MappedSample::release() {
    if (!sample_) return;
    gst_video_frame_unmap(&frame_);
    sample_.reset();
}

FrameView MappedSample::view() const {
    return {static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0)),
            GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0), FrameView::RowOrder::TopDown};
}

void copyToFrameBuffer(const FrameView& view, int width, int height,
                       std::span<std::uint8_t> frameBuffer) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
    for (int y = 0; y < height; ++y) {
        std::memcpy(frameBuffer.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes,
                    view.pictureRow(y, height), rowBytes);
    }
}

}  // namespace tavlomi
