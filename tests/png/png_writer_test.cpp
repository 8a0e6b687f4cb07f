#include "png/png_writer.hpp"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/scratch_folder.hpp"

namespace tavlomi {
namespace {

namespace fs = std::filesystem;

// libpng's reading of the file as 8-bit RGB, top row first; empty when it is no PNG.
std::vector<std::uint8_t> readRgb(const fs::path& file, int width, int height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(width) * height);
    if (png_image_begin_read_from_file(&image, file.c_str()) == 0) return {};
    image.format = PNG_FORMAT_RGB;
    const bool read = image.width == static_cast<png_uint_32>(width) &&
                      image.height == static_cast<png_uint_32>(height) &&
                      png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return read ? rgb : std::vector<std::uint8_t>();
}

TEST(PngFile, AnEightBitRgbFileOfThePixelsWithoutTheirTopByteReplacesAnyFileThere) {
    const ScratchFolder scratch;
    const fs::path file = scratch.path() / "picture.png";
    std::ofstream(file) << "old contents";
    // Every pixel differs, so that swapped channels, rows or columns show.
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint8_t> expected;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            const std::uint8_t r = static_cast<std::uint8_t>(x * 36 + 3);
            const std::uint8_t g = static_cast<std::uint8_t>(y * 50 + 1);
            const std::uint8_t b = static_cast<std::uint8_t>(x * 7 + y * 11);
            pixels.push_back(((x + y) % 2 == 0 ? 0xFF000000u : 0) | r << 16 | g << 8 | b);
            expected.insert(expected.end(), {r, g, b});
        }
    }
    ASSERT_EQ(writePngFile(file, 7, 5, pixels), "");
    EXPECT_EQ(readRgb(file, 7, 5), expected);
    // The header's bit depth and colour type: 8-bit RGB, no alpha.
    std::array<char, 26> header{};
    std::ifstream(file, std::ios::binary).read(header.data(), header.size());
    EXPECT_EQ(header[24], 8);
    EXPECT_EQ(header[25], 2);
}

TEST(PngFile, RefusesAPictureOfAnotherSizeAndAMissingFolderNamingTheFile) {
    const ScratchFolder scratch;
    const std::vector<std::uint32_t> pixels(16, 0x808080);
    const fs::path file = scratch.path() / "picture.png";
    const fs::path nowhere = scratch.path() / "missing" / "picture.png";
    const struct {
        fs::path path;
        int width;
        int height;
        std::string says;
    } cases[] = {
        {file, 4, 3, "cannot write " + file.string() + ": the picture has 16 pixels, not 4 x 3"},
        {file, 0, 16, "cannot write " + file.string() + ": the picture size 0 x 16 is not usable"},
        {nowhere, 4, 4, "cannot write " + nowhere.string() + ": "},
    };
    for (const auto& c : cases) {
        const std::string error = writePngFile(c.path, c.width, c.height, pixels);
        EXPECT_EQ(error.substr(0, c.says.size()), c.says) << error;
    }
    EXPECT_FALSE(fs::exists(file));
}

}  // namespace
}  // namespace tavlomi
