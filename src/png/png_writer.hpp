#pragma once

// PNG files through libpng: the only file that uses it, so that the core and the shell stay free
// of it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace tavlomi {

// Writes width x height pixel words 0x00RRGGBB (the top byte is ignored), row-major with the
// top row first, as an 8-bit RGB PNG, replacing any file at path. Returns an empty string on
// success, else a sentence naming the file and the reason.
std::string writePngFile(const std::filesystem::path& path, int width, int height,
                         std::span<const std::uint32_t> pixels);

}  // namespace tavlomi
