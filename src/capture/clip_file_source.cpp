#include "capture/clip_file_source.hpp"

#include <cerrno>
#include <cstring>

namespace tavlomi {

std::unique_ptr<ClipFileSource> ClipFileSource::open(const std::string& path, int width, int height,
                                                     std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "a clip of " + std::to_string(width) + " x " + std::to_string(height) +
                " frames has no pixels";
        return nullptr;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "cannot read the clip '" + path + "': " + std::strerror(errno);
        return nullptr;
    }
    const std::size_t frameBytes =
        3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        error = "cannot seek in the clip '" + path + "': " + std::strerror(errno);
        return nullptr;
    }
    const long size = std::ftell(file.get());
    if (size <= 0 || static_cast<unsigned long>(size) % frameBytes != 0) {
        error = "the clip '" + path + "' holds " + std::to_string(size) +
                " bytes, not a whole number of " + std::to_string(width) + " x " +
                std::to_string(height) + " frames (" + std::to_string(frameBytes) + " bytes each)";
        return nullptr;
    }
    const long long frameCount = size / static_cast<long long>(frameBytes);
    return std::make_unique<ClipFileSource>(std::move(file), frameBytes, frameCount);
}

ClipFileSource::ClipFileSource(std::unique_ptr<std::FILE, FileCloser> file, std::size_t frameBytes,
                               long long frameCount)
    : file_(std::move(file)), frameBytes_(frameBytes), frameCount_(frameCount) {}

bool ClipFileSource::copyNewestFrame(std::span<std::uint8_t> frameBuffer) {
    const long long frame = nextFrame_;
    ++nextFrame_;
    // Past the end the last frame stays in the buffer, which is the same as copying it again.
    if (frame >= frameCount_) return false;
    if (std::fseek(file_.get(), static_cast<long>(frame * static_cast<long long>(frameBytes_)),
                   SEEK_SET) != 0 ||
        std::fread(frameBuffer.data(), 1, frameBytes_, file_.get()) != frameBytes_) {
        return false;
    }
    return true;
}

}  // namespace tavlomi
