#include "e2e/replay_runner.hpp"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavlomi::e2e {

namespace {

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const void* data, std::size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) throw std::runtime_error("cannot write " + path);
}

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

Picture darkTexture(int width, int height, int seed) {
    Picture p{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t r = static_cast<std::uint32_t>(x * 7 + seed) % 16;
            const std::uint32_t g = static_cast<std::uint32_t>(y * 5 + seed) % 16;
            const std::uint32_t b = static_cast<std::uint32_t>(x + y + seed) % 16;
            p.pixels.push_back(r << 16 | g << 8 | b);
        }
    }
    return p;
}

Picture mirrored(const Picture& picture) {
    Picture out{picture.width, picture.height, picture.pixels};
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            out.pixels[static_cast<std::size_t>(y) * picture.width + x] =
                picture.at(picture.width - 1 - x, y);
        }
    }
    return out;
}

bool findCross(const std::vector<std::uint32_t>& screen, int width, int height, int& x, int& y) {
    // The vertical bar is the only place with magenta 3 pixels wide over 20 rows; its middle
    // column is x. The horizontal bar's middle row is y.
    const auto magenta = [&](int px, int py) {
        return px >= 0 && py >= 0 && px < width && py < height &&
               (screen[static_cast<std::size_t>(py) * width + px] & 0xFFFFFF) == 0xFF00FF;
    };
    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            if (magenta(px, py) && magenta(px + 1, py) && magenta(px + 2, py) &&
                !magenta(px - 1, py) && !magenta(px + 3, py)) {
                // Topmost row of the vertical bar: the cross's centre is 10 rows below.
                x = px + 1;
                y = py + 10;
                return magenta(x, y) && magenta(x - 10, y) && magenta(x + 9, y);
            }
        }
    }
    return false;
}

ReplayRunner::ReplayRunner() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavlomi-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    directory_ = pattern;
}

ReplayRunner::~ReplayRunner() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

void ReplayRunner::addFrame(const Picture& picture) {
    for (int row = picture.height - 1; row >= 0; --row) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t p = picture.at(x, row);
            clip_.push_back(static_cast<std::uint8_t>(p));
            clip_.push_back(static_cast<std::uint8_t>(p >> 8));
            clip_.push_back(static_cast<std::uint8_t>(p >> 16));
        }
    }
}

ReplayResult runCommand(const std::string& command, const std::string& directory) {
    const std::string out = directory + "/stdout";
    const std::string err = directory + "/stderr";
    const int status = std::system((command + " >" + quote(out) + " 2>" + quote(err)).c_str());
    ReplayResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

ReplayResult ReplayRunner::run(int width, int height, long long frames,
                               const std::vector<std::string>& extraArgs) {
    const std::string clip = directory_ + "/clip.raw";
    const std::string events = directory_ + "/events.txt";
    const std::string screens = directory_ + "/screens.raw";
    writeFile(clip, clip_.data(), clip_.size());
    writeFile(events, events_.data(), events_.size());
    std::filesystem::remove(screens);

    std::string command = quote(TAVLOMI_REPLAY_PATH);
    if (extraArgs.empty()) {
        command += " --size " + std::to_string(width) + " " + std::to_string(height) +
                   " --frames " + std::to_string(frames) + " --input " + quote(clip) +
                   " --events " + quote(events) + " --screens " + quote(screens);
    } else {
        for (const std::string& arg : extraArgs)
            command += " " + quote(arg);
    }
    ReplayResult result = runCommand(command, directory_);
    const std::string bytes = readFile(screens);
    const std::size_t screenBytes = 4 * static_cast<std::size_t>(width) * height;
    for (std::size_t offset = 0; screenBytes > 0 && offset + screenBytes <= bytes.size();
         offset += screenBytes) {
        std::vector<std::uint32_t> words(screenBytes / 4);
        for (std::size_t i = 0; i < words.size(); ++i) {
            const auto byte = [&](std::size_t k) {
                return static_cast<std::uint32_t>(
                    static_cast<unsigned char>(bytes[offset + 4 * i + k]));
            };
            words[i] = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
        }
        result.screens.push_back(std::move(words));
    }
    return result;
}

}  // namespace tavlomi::e2e
