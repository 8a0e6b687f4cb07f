#include "gst/video_nodes.hpp"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tavlomi {

namespace {

constexpr const char* kPrefix = "video";

// The N of "videoN"; -1 for any other name.
int videoNumber(const std::string& name) {
    const std::string digits = name.substr(std::min(name.size(), std::string(kPrefix).size()));
    if (!name.starts_with(kPrefix) || digits.empty() || digits.size() > 6 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::stoi(digits);
}

std::string fieldText(const __u8* field, std::size_t size) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, std::find(text, text + size, '\0'));
}

}  // namespace

std::vector<VideoNode> listVideoNodes() {
    std::vector<std::pair<int, VideoNode>> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/dev", error), end; !error && it != end;
         it.increment(error)) {
        const int number = videoNumber(it->path().filename().string());
        if (number < 0) continue;
        const std::string path = it->path().string();
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        v4l2_capability caps{};
        if (::ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0) {
            const bool perNode = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0;
            found.emplace_back(number, VideoNode{path, fieldText(caps.driver, sizeof caps.driver),
                                                 fieldText(caps.card, sizeof caps.card),
                                                 perNode ? caps.device_caps : caps.capabilities});
        }
        ::close(fd);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<VideoNode> nodes;
    for (auto& [number, node] : found)
        nodes.push_back(std::move(node));
    return nodes;
}

}  // namespace tavlomi
