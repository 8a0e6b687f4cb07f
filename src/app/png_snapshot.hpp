#pragma once

// Snapshots as PNG files through libpng: the only file that uses it, so that the core stays
// free of it. The folder and file name rules are in snapshot.hpp.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <span>
#include <string>

#include "app/snapshot.hpp"

namespace tavlomi {

// Writes width x height pixel words 0x00RRGGBB (the top byte is ignored), row-major with the
// top row first, as an 8-bit RGB PNG, replacing any file at path. Returns an empty string on
// success, else a sentence naming the file and the reason.
std::string writePngFile(const std::filesystem::path& path, int width, int height,
                         std::span<const std::uint32_t> pixels);

struct SnapshotResult {
    std::filesystem::path path;  // the file written; empty on failure
    std::string error;           // a sentence saying why nothing was saved; empty on success

    bool ok() const { return error.empty(); }
};

// Saves the picture in snapshotFolder(env) under snapshotStem(localTime), never replacing a
// file: a name that is taken gets -2, -3, ... before ".png".
SnapshotResult saveSnapshot(std::span<const std::uint32_t> pixels, int width, int height,
                            const SnapshotEnvironment& env, const std::tm& localTime);

// The same for this process's environment and the current local time.
SnapshotResult saveSnapshot(std::span<const std::uint32_t> pixels, int width, int height);

}  // namespace tavlomi
