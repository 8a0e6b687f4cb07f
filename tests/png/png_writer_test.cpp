#include "png/png_writer.hpp"

#include "app/snapshot.hpp"

#include <gtest/gtest.h>

#include <png.h>
#include "support/scratch_folder.hpp"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tavlomi {
namespace {

namespace fs = std::filesystem;

struct DecodedPng {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top row first
};

// Decoded by libpng's reader into 8-bit RGB; width 0 when the file is not a readable PNG.
DecodedPng readPng(const fs::path& file) {
    DecodedPng result;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, file.c_str()) == 0) return result;
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return result;
    }
    result.width = static_cast<int>(image.width);
    result.height = static_cast<int>(image.height);
    result.rgb = std::move(pixels);
    return result;
}

// The file's own header: PNG signature, then IHDR's bit depth and colour type.
std::array<int, 2> depthAndColourType(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<unsigned char, 26> header{};
    in.read(reinterpret_cast<char*>(header.data()), header.size());
    const std::array<unsigned char, 8> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!in || !std::equal(signature.begin(), signature.end(), header.begin())) return {-1, -1};
    return {header[24], header[25]};
}

// A picture whose every pixel differs, so that swapped channels, rows or columns show; the top
// byte varies too and must not reach the file.
std::vector<std::uint32_t> testPicture(int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t r = static_cast<std::uint32_t>(x * 36 + 3);
            const std::uint32_t g = static_cast<std::uint32_t>(y * 50 + 1);
            const std::uint32_t b = static_cast<std::uint32_t>((x * 7 + y * 11) % 256);
            const std::uint32_t top = (x + y) % 2 == 0 ? 0xFFu : 0x00u;
            pixels[static_cast<std::size_t>(y) * width + x] = top << 24 | r << 16 | g << 8 | b;
        }
    }
    return pixels;
}

void expectSamePicture(const DecodedPng& decoded, const std::vector<std::uint32_t>& pixels,
                       int width, int height) {
    ASSERT_EQ(decoded.width, width);
    ASSERT_EQ(decoded.height, height);
    ASSERT_EQ(decoded.rgb.size(), 3 * pixels.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const std::uint32_t word = pixels[i];
            ASSERT_EQ(decoded.rgb[3 * i], (word >> 16) & 0xFF) << "red at " << x << "," << y;
            ASSERT_EQ(decoded.rgb[3 * i + 1], (word >> 8) & 0xFF) << "green at " << x << "," << y;
            ASSERT_EQ(decoded.rgb[3 * i + 2], word & 0xFF) << "blue at " << x << "," << y;
        }
    }
}

std::tm snapshotTime() {
    std::tm time{};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 6;
    time.tm_hour = 23;
    time.tm_min = 45;
    time.tm_sec = 12;
    return time;
}

TEST(PngFile, WrittenPixelsReadBackUnchanged) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const int width = 7;
    const int height = 5;
    const std::vector<std::uint32_t> pixels = testPicture(width, height);
    const fs::path file = scratch.path() / "picture.png";
    ASSERT_EQ(writePngFile(file, width, height, pixels), "");
    EXPECT_EQ(depthAndColourType(file), (std::array<int, 2>{8, 2}));  // 8-bit RGB, no alpha
    expectSamePicture(readPng(file), pixels, width, height);
}

TEST(PngFile, ReplacesAFileAtThePath) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path file = scratch.path() / "picture.png";
    std::ofstream(file) << "old contents";
    const std::vector<std::uint32_t> pixels = testPicture(3, 2);
    ASSERT_EQ(writePngFile(file, 3, 2, pixels), "");
    expectSamePicture(readPng(file), pixels, 3, 2);
}

TEST(PngFile, RejectsAMismatchedPictureAndAMissingFolder) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const std::vector<std::uint32_t> pixels = testPicture(4, 4);
    const fs::path file = scratch.path() / "picture.png";
    EXPECT_NE(writePngFile(file, 4, 3, pixels), "");
    EXPECT_NE(writePngFile(file, 0, 4, std::span<const std::uint32_t>()), "");
    EXPECT_FALSE(fs::exists(file));

    const fs::path nowhere = scratch.path() / "missing" / "picture.png";
    const std::string error = writePngFile(nowhere, 4, 4, pixels);
    EXPECT_NE(error.find(nowhere.string()), std::string::npos) << error;
}

TEST(Snapshot, SavedUnderTheTimestampedNameAndNumberedWhenTaken) {
    ScratchFolder home;
    ASSERT_FALSE(home.path().empty());
    SnapshotEnvironment env;
    env.home = home.path();
    const std::vector<std::uint32_t> first = testPicture(6, 4);
    std::vector<std::uint32_t> second = first;
    second[0] = 0x00123456;

    const SnapshotResult a = saveSnapshot(first, 6, 4, env, snapshotTime(), writePngFile);
    ASSERT_TRUE(a.ok()) << a.error;
    const fs::path folder = home.path() / "Pictures" / "Tavlomi";
    EXPECT_EQ(a.path, folder / "tavlomi-2026-12-06-23-45-12.png");
    const SnapshotResult b = saveSnapshot(second, 6, 4, env, snapshotTime(), writePngFile);
    ASSERT_TRUE(b.ok()) << b.error;
    EXPECT_EQ(b.path, folder / "tavlomi-2026-12-06-23-45-12-2.png");

    expectSamePicture(readPng(a.path), first, 6, 4);
    expectSamePicture(readPng(b.path), second, 6, 4);
}

TEST(Snapshot, FollowsTheXdgPicturesFolder) {
    ScratchFolder home;
    ScratchFolder pictures;
    ASSERT_FALSE(home.path().empty());
    ASSERT_FALSE(pictures.path().empty());
    SnapshotEnvironment env;
    env.home = home.path();
    env.picturesDir = pictures.path();
    const std::vector<std::uint32_t> pixels = testPicture(2, 2);
    const SnapshotResult saved = saveSnapshot(pixels, 2, 2, env, snapshotTime(), writePngFile);
    ASSERT_TRUE(saved.ok()) << saved.error;
    EXPECT_EQ(saved.path, pictures.path() / "Tavlomi" / "tavlomi-2026-12-06-23-45-12.png");
    expectSamePicture(readPng(saved.path), pixels, 2, 2);
}

TEST(Snapshot, FailuresLeaveNoFileBehind) {
    ScratchFolder home;
    ASSERT_FALSE(home.path().empty());
    SnapshotEnvironment env;
    env.home = home.path();
    const std::vector<std::uint32_t> pixels = testPicture(4, 4);

    const SnapshotResult wrongSize = saveSnapshot(pixels, 5, 4, env, snapshotTime(), writePngFile);
    EXPECT_FALSE(wrongSize.ok());
    EXPECT_TRUE(wrongSize.path.empty());
    EXPECT_FALSE(fs::exists(home.path() / "Pictures"));

    std::ofstream(home.path() / "Pictures") << "a file, not a folder";
    const SnapshotResult blocked = saveSnapshot(pixels, 4, 4, env, snapshotTime(), writePngFile);
    EXPECT_FALSE(blocked.ok());
    EXPECT_NE(blocked.error.find("Pictures"), std::string::npos) << blocked.error;

    const SnapshotResult homeless =
        saveSnapshot(pixels, 4, 4, SnapshotEnvironment{}, snapshotTime(), writePngFile);
    EXPECT_FALSE(homeless.ok());
    EXPECT_NE(homeless.error.find("HOME"), std::string::npos) << homeless.error;
}

}  // namespace
}  // namespace tavlomi
