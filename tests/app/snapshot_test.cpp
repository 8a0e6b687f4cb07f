#include "app/snapshot.hpp"

#include <gtest/gtest.h>

#include "support/scratch_folder.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tavlomi {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
void writeText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::tm localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

TEST(SnapshotFolder, AbsoluteXdgPicturesDirWinsOverEverything) {
    ScratchFolder home;
    ASSERT_FALSE(home.path().empty());
    writeText(home.path() / ".config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    SnapshotEnvironment env;
    env.home = home.path();
    env.picturesDir = "/srv/pictures";
    EXPECT_EQ(picturesFolder(env), fs::path("/srv/pictures"));
    EXPECT_EQ(snapshotFolder(env), fs::path("/srv/pictures/Tavlomi"));
}

TEST(SnapshotFolder, UserDirsFileInDotConfigNamesThePicturesFolder) {
    ScratchFolder home;
    ASSERT_FALSE(home.path().empty());
    writeText(home.path() / ".config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
              "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    SnapshotEnvironment env;
    env.home = home.path();
    env.picturesDir = "relative/pictures";  // not absolute: ignored
    EXPECT_EQ(picturesFolder(env), home.path() / "Bilder");
    EXPECT_EQ(snapshotFolder(env), home.path() / "Bilder" / "Tavlomi");
}

TEST(SnapshotFolder, XdgConfigHomeIsWhereUserDirsIsRead) {
    ScratchFolder home;
    ScratchFolder config;
    ASSERT_FALSE(home.path().empty());
    ASSERT_FALSE(config.path().empty());
    writeText(home.path() / ".config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Wrong\"\n");
    writeText(config.path() / "user-dirs.dirs", "XDG_PICTURES_DIR=\"/media/photos\"\n");
    SnapshotEnvironment env;
    env.home = home.path();
    env.configHome = config.path();
    EXPECT_EQ(picturesFolder(env), fs::path("/media/photos"));

    // A relative XDG_CONFIG_HOME is not usable, so ~/.config is read instead.
    env.configHome = "config";
    EXPECT_EQ(picturesFolder(env), home.path() / "Wrong");
}

TEST(SnapshotFolder, FallsBackToPicturesInHome) {
    ScratchFolder home;
    ASSERT_FALSE(home.path().empty());
    SnapshotEnvironment env;
    env.home = home.path();
    EXPECT_EQ(picturesFolder(env), home.path() / "Pictures");
    EXPECT_EQ(snapshotFolder(env), home.path() / "Pictures" / "Tavlomi");

    // A user-dirs file without a usable pictures line changes nothing.
    writeText(home.path() / ".config/user-dirs.dirs", "XDG_PICTURES_DIR=Pictures\n");
    EXPECT_EQ(picturesFolder(env), home.path() / "Pictures");
}

TEST(SnapshotFolder, WithoutHomeOnlyAnAbsoluteSettingNamesAFolder) {
    SnapshotEnvironment env;
    EXPECT_TRUE(picturesFolder(env).empty());
    EXPECT_TRUE(snapshotFolder(env).empty());
    env.picturesDir = "/pictures";
    EXPECT_EQ(snapshotFolder(env), fs::path("/pictures/Tavlomi"));
}

TEST(SnapshotFolder, FromProcessReadsTheVariables) {
    const char* names[] = {"HOME", "XDG_PICTURES_DIR", "XDG_CONFIG_HOME"};
    std::string saved[3];
    bool wasSet[3];
    for (int i = 0; i < 3; ++i) {
        const char* value = std::getenv(names[i]);
        wasSet[i] = value != nullptr;
        if (value != nullptr) saved[i] = value;
    }
    setenv("HOME", "/home/fake", 1);
    setenv("XDG_PICTURES_DIR", "/fake/pictures", 1);
    setenv("XDG_CONFIG_HOME", "/fake/config", 1);
    const SnapshotEnvironment env = SnapshotEnvironment::fromProcess();
    unsetenv("HOME");
    const SnapshotEnvironment withoutHome = SnapshotEnvironment::fromProcess();
    for (int i = 0; i < 3; ++i) {
        if (wasSet[i]) {
            setenv(names[i], saved[i].c_str(), 1);
        } else {
            unsetenv(names[i]);
        }
    }
    EXPECT_EQ(env.home, "/home/fake");
    EXPECT_EQ(env.picturesDir, "/fake/pictures");
    EXPECT_EQ(env.configHome, "/fake/config");
    // The password database still knows a home folder for the user running the tests.
    EXPECT_FALSE(withoutHome.home.empty());
}

TEST(UserDirsFile, ReadsHomeRelativeAndAbsoluteValues) {
    EXPECT_EQ(picturesDirFromUserDirs("XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", "/home/ana"),
              "/home/ana/Pictures");
    EXPECT_EQ(picturesDirFromUserDirs("XDG_PICTURES_DIR=\"/data/pics\"", "/home/ana"),
              "/data/pics");
    // "$HOME" alone is the home folder itself.
    EXPECT_EQ(picturesDirFromUserDirs("XDG_PICTURES_DIR=\"$HOME\"\n", "/home/ana"), "/home/ana");
}

TEST(UserDirsFile, TheLastValidLineWinsAndOthersAreIgnored) {
    const std::string text =
        "# XDG_PICTURES_DIR=\"$HOME/Commented\"\n"
        "XDG_PICTURES_DIR=\"$HOME/First\"\n"
        "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n"
        "  XDG_PICTURES_DIR = \"$HOME/Second\"\n"
        "XDG_PICTURES_DIR=\"relative/path\"\n"
        "XDG_PICTURES_DIR=$HOME/Unquoted\n"
        "XDG_PICTURES_DIR=\"$HOMEWARD/Other\"\n"
        "XDG_PICTURES_DIR=\"$HOME/Unterminated\n"
        "XDG_PICTURES_DIRS=\"$HOME/OtherKey\"\n";
    EXPECT_EQ(picturesDirFromUserDirs(text, "/home/ana"), "/home/ana/Second");
}

TEST(UserDirsFile, BackslashEscapesAndSpaces) {
    EXPECT_EQ(picturesDirFromUserDirs("XDG_PICTURES_DIR=\"$HOME/My \\\"Best\\\" \\$Pics\"\n",
                                      "/home/ana"),
              "/home/ana/My \"Best\" $Pics");
}

TEST(UserDirsFile, NothingUsableGivesEmpty) {
    EXPECT_EQ(picturesDirFromUserDirs("", "/home/ana"), "");
    EXPECT_EQ(picturesDirFromUserDirs("XDG_PICTURES_DIR=\"\"\n", "/home/ana"), "");
    // A home-relative value cannot be resolved without a home.
    EXPECT_EQ(picturesDirFromUserDirs("XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", ""), "");
}

TEST(SnapshotName, StemIsTheLocalTimeWithTwoDigitFields) {
    EXPECT_EQ(snapshotStem(localTime(2026, 12, 6, 23, 45, 12)), "tavlomi-2026-12-06-23-45-12");
    EXPECT_EQ(snapshotStem(localTime(2027, 1, 2, 3, 4, 5)), "tavlomi-2027-01-02-03-04-05");
    EXPECT_EQ(snapshotStem(localTime(2030, 10, 31, 0, 0, 0)), "tavlomi-2030-10-31-00-00-00");
}

TEST(SnapshotClaim, CreatesTheFolderAndNumbersTakenNames) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const fs::path folder = scratch.path() / "Pictures" / "Tavlomi";
    const std::string stem = "tavlomi-2026-12-06-23-45-12";

    const ClaimedFile first = claimSnapshotFile(folder, stem);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(first.path, folder / (stem + ".png"));
    EXPECT_TRUE(fs::is_regular_file(first.path));

    const ClaimedFile second = claimSnapshotFile(folder, stem);
    ASSERT_EQ(second.error, "");
    EXPECT_EQ(second.path, folder / (stem + "-2.png"));
    const ClaimedFile third = claimSnapshotFile(folder, stem);
    EXPECT_EQ(third.path, folder / (stem + "-3.png"));
}

TEST(SnapshotClaim, NeverTouchesAnExistingFile) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const std::string stem = "tavlomi-2026-12-06-23-45-12";
    writeText(scratch.path() / (stem + ".png"), "somebody's picture");
    writeText(scratch.path() / (stem + "-2.png"), "another picture");

    const ClaimedFile claimed = claimSnapshotFile(scratch.path(), stem);
    ASSERT_EQ(claimed.error, "");
    EXPECT_EQ(claimed.path, scratch.path() / (stem + "-3.png"));
    EXPECT_EQ(readText(scratch.path() / (stem + ".png")), "somebody's picture");
    EXPECT_EQ(readText(scratch.path() / (stem + "-2.png")), "another picture");
}

TEST(SnapshotClaim, ReportsWhenEveryNameIsTaken) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    const std::string stem = "tavlomi-2026-12-06-23-45-12";
    writeText(scratch.path() / (stem + ".png"), "");
    for (int number = 2; number <= kMaxSnapshotNames; ++number) {
        writeText(scratch.path() / (stem + "-" + std::to_string(number) + ".png"), "");
    }
    const ClaimedFile claimed = claimSnapshotFile(scratch.path(), stem);
    EXPECT_TRUE(claimed.path.empty());
    EXPECT_NE(claimed.error.find("is taken"), std::string::npos) << claimed.error;
}

TEST(SnapshotClaim, ReportsAFolderThatCannotBeMade) {
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path().empty());
    writeText(scratch.path() / "Pictures", "a file where the folder should be");
    const fs::path folder = scratch.path() / "Pictures" / "Tavlomi";
    const ClaimedFile claimed = claimSnapshotFile(folder, "tavlomi-x");
    EXPECT_TRUE(claimed.path.empty());
    EXPECT_NE(claimed.error.find(folder.string()), std::string::npos) << claimed.error;

    const ClaimedFile nowhere = claimSnapshotFile(fs::path(), "tavlomi-x");
    EXPECT_TRUE(nowhere.path.empty());
    EXPECT_NE(nowhere.error.find("HOME"), std::string::npos) << nowhere.error;
}

}  // namespace
}  // namespace tavlomi
