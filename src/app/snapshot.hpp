#pragma once

// Where snapshots go: a Tavlomi folder inside the user's pictures folder as the XDG user
// directories name it, and a time-stamped file name that never replaces an existing file.
// Writing the picture file itself is the work of a PictureWriter (the PNG edge).

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tavlomi {

// The variables the pictures folder depends on; an empty string stands for an unset variable.
struct SnapshotEnvironment {
    std::string home;         // HOME
    std::string picturesDir;  // XDG_PICTURES_DIR
    std::string configHome;   // XDG_CONFIG_HOME

    // This process's variables; when HOME is unset, the home folder of the password database.
    static SnapshotEnvironment fromProcess();
};

// The pictures folder: XDG_PICTURES_DIR when it is an absolute path; else the XDG_PICTURES_DIR
// line of user-dirs.dirs in XDG_CONFIG_HOME (an absolute path) or else ~/.config; else
// ~/Pictures. Empty when none of these can be named (no home and no absolute setting).
std::filesystem::path picturesFolder(const SnapshotEnvironment& env);

// picturesFolder(env) / "Tavlomi"; empty when picturesFolder is.
std::filesystem::path snapshotFolder(const SnapshotEnvironment& env);

// The XDG_PICTURES_DIR value of a user-dirs.dirs text, read as the shell would: the last valid
// line wins; a value is "$HOME/..." (resolved against home) or an absolute path, in double
// quotes, with backslash escapes. Empty when the text has no usable line.
std::string picturesDirFromUserDirs(std::string_view fileText, const std::string& home);

// "tavlomi-YYYY-MM-DD-HH-MM-SS" for a broken-down local time.
std::string snapshotStem(const std::tm& localTime);

// Names tried after stem.png: stem-2.png up to stem-<kMaxSnapshotNames>.png.
inline constexpr int kMaxSnapshotNames = 999;

struct ClaimedFile {
    std::filesystem::path path;  // the newly created empty file; empty on failure
    std::string error;           // a sentence saying why no file was created; empty on success
};

// Creates folder and its parents when missing, then creates the first of stem.png,
// stem-2.png, stem-3.png, ... that does not exist yet. The creation is exclusive, so a file
// that appears meanwhile is never truncated.
ClaimedFile claimSnapshotFile(const std::filesystem::path& folder, const std::string& stem);

// Writes width x height words 0x00RRGGBB, top row first, to path; an empty string on success,
// else a sentence naming the file and the reason.
using PictureWriter = std::string (*)(const std::filesystem::path& path, int width, int height,
                                      std::span<const std::uint32_t> pixels);

struct SnapshotResult {
    std::filesystem::path path;  // the file written; empty on failure
    std::string error;           // a sentence saying why nothing was saved; empty on success

    bool ok() const { return error.empty(); }
};

// Saves the picture through write in snapshotFolder(env) under snapshotStem(localTime) plus
// ".png", never replacing a file: a name that is taken gets -2, -3, ... before ".png".
SnapshotResult saveSnapshot(std::span<const std::uint32_t> pixels, int width, int height,
                            const SnapshotEnvironment& env, const std::tm& localTime,
                            PictureWriter write);

// The same for this process's environment and the current local time.
SnapshotResult saveSnapshot(std::span<const std::uint32_t> pixels, int width, int height,
                            PictureWriter write);

}  // namespace tavlomi
