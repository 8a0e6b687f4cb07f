#include "png/png_writer.hpp"

#include <png.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace tavlomi {

namespace {

// Empty when the picture can be written, else the reason.
std::string pictureProblem(int width, int height, std::span<const std::uint32_t> pixels) {
    // libpng takes the row length in bytes as a 32-bit int.
    if (width <= 0 || height <= 0 || width > std::numeric_limits<png_int_32>::max() / 3) {
        return "the picture size " + std::to_string(width) + " x " + std::to_string(height) +
               " is not usable";
    }
    if (pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        return "the picture has " + std::to_string(pixels.size()) + " pixels, not " +
               std::to_string(width) + " x " + std::to_string(height);
    }
    return {};
}

}  // namespace

std::string writePngFile(const std::filesystem::path& path, int width, int height,
                         std::span<const std::uint32_t> pixels) {
    const std::string prefix = "cannot write " + path.string() + ": ";
    const std::string problem = pictureProblem(width, height, pixels);
    if (!problem.empty()) return prefix + problem;
    const std::size_t cells = pixels.size();
    std::vector<std::uint8_t> rgb(3 * cells);
    for (std::size_t i = 0; i < cells; ++i) {
        const std::uint32_t word = pixels[i];
        rgb[3 * i] = static_cast<std::uint8_t>(word >> 16);
        rgb[3 * i + 1] = static_cast<std::uint8_t>(word >> 8);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(word);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 3 * width, nullptr) == 0) {
        std::string reason = image.message[0] != '\0' ? image.message : "libpng failed";
        png_image_free(&image);
        return prefix + reason;
    }
    png_image_free(&image);
    return {};
}

}  // namespace tavlomi
