#include "app/snapshot.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace tavlomi {

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string homeFromPasswordDatabase() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return found->pw_dir;
}

bool isAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One line's value after the opening quote: "$HOME" followed by '/' or the closing quote, or an
// absolute path; backslash takes the next character as it is. Empty when malformed.
std::string quotedValue(std::string_view rest, const std::string& home) {
    std::string value;
    if (rest.substr(0, 5) == "$HOME") {
        rest.remove_prefix(5);
        if (home.empty() || rest.empty() || (rest.front() != '/' && rest.front() != '"')) {
            return {};
        }
        value = home;
    } else if (rest.empty() || rest.front() != '/') {
        return {};
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '"') return value;
        if (rest[i] == '\\') {
            if (++i == rest.size()) return {};
        }
        value += rest[i];
    }
    return {};
}

std::string twoDigits(int value) {
    const std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

}  // namespace

SnapshotEnvironment SnapshotEnvironment::fromProcess() {
    SnapshotEnvironment env;
    env.home = variable("HOME");
    if (env.home.empty()) env.home = homeFromPasswordDatabase();
    env.picturesDir = variable("XDG_PICTURES_DIR");
    env.configHome = variable("XDG_CONFIG_HOME");
    return env;
}

std::string picturesDirFromUserDirs(std::string_view fileText, const std::string& home) {
    constexpr std::string_view kKey = "XDG_PICTURES_DIR";
    std::string result;
    std::size_t lineStart = 0;
    while (lineStart < fileText.size()) {
        std::size_t lineEnd = fileText.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = fileText.size();
        std::string_view line = fileText.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;

        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.substr(0, kKey.size()) != kKey) continue;
        line.remove_prefix(kKey.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line.front() != '=') continue;
        line.remove_prefix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line.front() != '"') continue;
        line.remove_prefix(1);
        std::string value = quotedValue(line, home);
        if (!value.empty()) result = std::move(value);
    }
    return result;
}

std::filesystem::path picturesFolder(const SnapshotEnvironment& env) {
    if (isAbsolute(env.picturesDir)) return env.picturesDir;
    std::filesystem::path configFolder;
    if (isAbsolute(env.configHome)) {
        configFolder = env.configHome;
    } else if (!env.home.empty()) {
        configFolder = std::filesystem::path(env.home) / ".config";
    }
    if (!configFolder.empty()) {
        const std::string fromFile =
            picturesDirFromUserDirs(readWholeFile(configFolder / "user-dirs.dirs"), env.home);
        if (!fromFile.empty()) return fromFile;
    }
    if (env.home.empty()) return {};
    return std::filesystem::path(env.home) / "Pictures";
}

std::filesystem::path snapshotFolder(const SnapshotEnvironment& env) {
    const std::filesystem::path pictures = picturesFolder(env);
    if (pictures.empty()) return {};
    return pictures / "Tavlomi";
}

std::string snapshotStem(const std::tm& localTime) {
    return "tavlomi-" + std::to_string(localTime.tm_year + 1900) + "-" +
           twoDigits(localTime.tm_mon + 1) + "-" + twoDigits(localTime.tm_mday) + "-" +
           twoDigits(localTime.tm_hour) + "-" + twoDigits(localTime.tm_min) + "-" +
           twoDigits(localTime.tm_sec);
}

ClaimedFile claimSnapshotFile(const std::filesystem::path& folder, const std::string& stem) {
    ClaimedFile result;
    if (folder.empty()) {
        result.error = "no pictures folder is known (HOME is not set)";
        return result;
    }
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure) {
        result.error = "cannot create the folder " + folder.string() + ": " + failure.message();
        return result;
    }
    for (int number = 1; number <= kMaxSnapshotNames; ++number) {
        const std::filesystem::path candidate =
            folder / (stem + (number == 1 ? std::string() : "-" + std::to_string(number)) + ".png");
        std::FILE* file = std::fopen(candidate.c_str(), "wbx");
        if (file != nullptr) {
            std::fclose(file);
            result.path = candidate;
            return result;
        }
        if (errno != EEXIST) {
            result.error = "cannot create " + candidate.string() + ": " + std::strerror(errno);
            return result;
        }
    }
    result.error = "every name from " + stem + ".png to " + stem + "-" +
                   std::to_string(kMaxSnapshotNames) + ".png in " + folder.string() + " is taken";
    return result;
}

SnapshotResult saveSnapshot(std::span<const std::uint32_t> pixels, int width, int height,
                            const SnapshotEnvironment& env, const std::tm& localTime,
                            PictureWriter write) {
    SnapshotResult result;
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        result.error = "cannot save a snapshot: the picture has " + std::to_string(pixels.size()) +
                       " pixels, not " + std::to_string(width) + " x " + std::to_string(height);
        return result;
    }
    const ClaimedFile claimed = claimSnapshotFile(snapshotFolder(env), snapshotStem(localTime));
    if (claimed.path.empty()) {
        result.error = "cannot save a snapshot: " + claimed.error;
        return result;
    }
    const std::string failure = write(claimed.path, width, height, pixels);
    if (!failure.empty()) {
        std::error_code ignored;
        std::filesystem::remove(claimed.path, ignored);
        result.error = "cannot save a snapshot: " + failure;
        return result;
    }
    result.path = claimed.path;
    return result;
}

SnapshotResult saveSnapshot(std::span<const std::uint32_t> pixels, int width, int height,
                            PictureWriter write) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return saveSnapshot(pixels, width, height, SnapshotEnvironment::fromProcess(), local, write);
}

}  // namespace tavlomi
