#include "app/snapshot.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/scratch_folder.hpp"

namespace tavlomi {
namespace {

namespace fs = std::filesystem;

void writeText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// "2027-11-02 13:04:05" as a broken-down local time.
std::tm localTime(const char* text) {
    std::tm time{};
    strptime(text, "%Y-%m-%d %H:%M:%S", &time);
    return time;
}

TEST(SnapshotFolder, FollowsTheXdgSettingsThenFallsBackToPicturesInHome) {
    // "~" stands for the home folder and "@" for another folder, both made for the case.
    const struct {
        const char* what;
        std::string picturesDir;
        std::string configHome;
        std::string homeUserDirs;
        std::string otherUserDirs;
        std::string expected;
    } cases[] = {
        {"an absolute XDG_PICTURES_DIR wins", "/srv/pictures", "@",
         "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "XDG_PICTURES_DIR=\"/media\"\n", "/srv/pictures"},
        {"else ~/.config/user-dirs.dirs; a relative XDG_PICTURES_DIR is ignored",
         "relative/pictures", "", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "", "~/Bilder"},
        {"user-dirs.dirs is read in XDG_CONFIG_HOME", "", "@", "XDG_PICTURES_DIR=\"$HOME/No\"\n",
         "XDG_PICTURES_DIR=\"/media/photos\"\n", "/media/photos"},
        {"a relative XDG_CONFIG_HOME is not used", "", "config", "XDG_PICTURES_DIR=\"$HOME/Yes\"\n",
         "", "~/Yes"},
        {"else ~/Pictures", "", "", "", "", "~/Pictures"},
    };
    for (const auto& c : cases) {
        const ScratchFolder home;
        const ScratchFolder other;
        const auto place = [&](const std::string& text) {
            if (text.starts_with("~")) return home.path().string() + text.substr(1);
            return text == "@" ? other.path().string() : text;
        };
        if (!c.homeUserDirs.empty())
            writeText(home.path() / ".config/user-dirs.dirs", c.homeUserDirs);
        if (!c.otherUserDirs.empty()) writeText(other.path() / "user-dirs.dirs", c.otherUserDirs);
        const SnapshotEnvironment env{home.path(), c.picturesDir, place(c.configHome)};
        EXPECT_EQ(picturesFolder(env), fs::path(place(c.expected))) << c.what;
        EXPECT_EQ(snapshotFolder(env), fs::path(place(c.expected)) / "Tavlomi") << c.what;
    }
    // Without a home only an absolute setting names a folder.
    EXPECT_TRUE(snapshotFolder(SnapshotEnvironment{}).empty());
    EXPECT_EQ(snapshotFolder({"", "/pictures", ""}), fs::path("/pictures/Tavlomi"));
}

TEST(SnapshotFolder, TheEnvironmentIsThisProcesssWithTheHomeOfThePasswordDatabaseAsFallback) {
    const char* names[] = {"HOME", "XDG_PICTURES_DIR", "XDG_CONFIG_HOME"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    setenv("HOME", "/home/fake", 1);
    setenv("XDG_PICTURES_DIR", "/fake/pictures", 1);
    setenv("XDG_CONFIG_HOME", "/fake/config", 1);
    const SnapshotEnvironment env = SnapshotEnvironment::fromProcess();
    unsetenv("HOME");
    const SnapshotEnvironment withoutHome = SnapshotEnvironment::fromProcess();
    for (std::size_t i = 0; i < saved.size(); ++i)
        saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
    EXPECT_EQ(env.home, "/home/fake");
    EXPECT_EQ(env.picturesDir, "/fake/pictures");
    EXPECT_EQ(env.configHome, "/fake/config");
    EXPECT_FALSE(withoutHome.home.empty());
}

TEST(SnapshotFolder, UserDirsLinesAreReadAsTheShellWould) {
    const struct {
        std::string text;
        std::string home;
        std::string expected;
    } cases[] = {
        {"XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", "/home/ana", "/home/ana/Pictures"},
        {"XDG_PICTURES_DIR=\"/data/pics\"", "/home/ana", "/data/pics"},
        {"XDG_PICTURES_DIR=\"$HOME\"\n", "/home/ana", "/home/ana"},
        {"XDG_PICTURES_DIR=\"$HOME/My \\\"Best\\\" \\$Pics\"\n", "/home/ana",
         "/home/ana/My \"Best\" $Pics"},
        // The last valid line wins.
        {"# XDG_PICTURES_DIR=\"$HOME/Commented\"\nXDG_PICTURES_DIR=\"$HOME/First\"\n"
         "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n  XDG_PICTURES_DIR = \"$HOME/Second\"\n"
         "XDG_PICTURES_DIR=\"relative/path\"\nXDG_PICTURES_DIR=$HOME/Unquoted\n"
         "XDG_PICTURES_DIR=\"$HOMEWARD/Other\"\nXDG_PICTURES_DIR=\"$HOME/Unterminated\n"
         "XDG_PICTURES_DIRS=\"$HOME/OtherKey\"\n",
         "/home/ana", "/home/ana/Second"},
        {"", "/home/ana", ""},
        {"XDG_PICTURES_DIR=\"\"\n", "/home/ana", ""},
        // A home-relative value cannot be resolved without a home.
        {"XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(picturesDirFromUserDirs(c.text, c.home), c.expected) << c.text;
}

TEST(SnapshotClaim, MakesTheFolderAndTakesTheFirstFreeNameNeverTouchingAFile) {
    const ScratchFolder scratch;
    const fs::path folder = scratch.path() / "Pictures" / "Tavlomi";
    writeText(folder / "x-2.png", "somebody's picture");
    for (const char* name : {"x.png", "x-3.png", "x-4.png"})
        EXPECT_EQ(claimSnapshotFile(folder, "x").path, folder / name);
    EXPECT_EQ(readFile(folder / "x-2.png"), "somebody's picture");
    EXPECT_TRUE(fs::is_regular_file(folder / "x.png"));

    for (int number = 5; number <= kMaxSnapshotNames; ++number)
        std::ofstream(folder / ("x-" + std::to_string(number) + ".png"));
    const struct {
        fs::path folder;
        std::string says;
    } failures[] = {
        {folder, "every name from x.png to x-999.png in " + folder.string() + " is taken"},
        {folder / "x.png" / "in", "cannot create the folder " + (folder / "x.png/in").string()},
        {fs::path(), "no pictures folder is known (HOME is not set)"},
    };
    for (const auto& f : failures) {
        const ClaimedFile claimed = claimSnapshotFile(f.folder, "x");
        EXPECT_TRUE(claimed.path.empty());
        EXPECT_EQ(claimed.error.substr(0, f.says.size()), f.says);
    }
}

TEST(SnapshotSave, NamesTheFileForTheLocalTimeAndRemovesItWhenTheWriterFails) {
    const ScratchFolder home;
    const SnapshotEnvironment env{home.path(), "", ""};
    const std::tm time = localTime("2027-11-02 13:04:05");
    const std::vector<std::uint32_t> pixels(6 * 4, 0x123456);
    const fs::path folder = home.path() / "Pictures" / "Tavlomi";
    const PictureWriter writes = [](const fs::path& path, int, int,
                                    std::span<const std::uint32_t> pixels) {
        std::ofstream(path) << pixels.size();
        return std::string();
    };
    const PictureWriter fails = [](const fs::path&, int, int, std::span<const std::uint32_t>) {
        return std::string("disk full");
    };
    const SnapshotResult first = saveSnapshot(pixels, 6, 4, env, time, writes);
    EXPECT_EQ(first.path, folder / "tavlomi-2027-11-02-13-04-05.png");
    EXPECT_EQ(readFile(first.path), "24");
    EXPECT_EQ(saveSnapshot(pixels, 6, 4, env, time, writes).path,
              folder / "tavlomi-2027-11-02-13-04-05-2.png");
    const SnapshotResult failed = saveSnapshot(pixels, 6, 4, env, time, fails);
    EXPECT_EQ(failed.error, "cannot save a snapshot: disk full");
    EXPECT_FALSE(fs::exists(folder / "tavlomi-2027-11-02-13-04-05-3.png"));

    const ScratchFolder other;
    const SnapshotResult wrongSize =
        saveSnapshot(pixels, 5, 4, {other.path(), "", ""}, time, writes);
    EXPECT_EQ(wrongSize.error, "cannot save a snapshot: the picture has 24 pixels, not 5 x 4");
    EXPECT_FALSE(fs::exists(other.path() / "Pictures"));
    EXPECT_FALSE(saveSnapshot(pixels, 6, 4, SnapshotEnvironment{}, time, writes).ok());
    EXPECT_FALSE(saveSnapshot({}, 0, 4, {other.path(), "", ""}, time, writes).ok());
}

}  // namespace
}  // namespace tavlomi
