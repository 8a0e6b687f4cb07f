#include "app/command_line.hpp"

#include <gtest/gtest.h>

#include "app/key_help.hpp"

#include <string>
#include <vector>

namespace tavlomi {
namespace {

ParseResult parse(std::vector<std::string> args) {
    return parseCommandLine(args);
}

TEST(CommandLineMode, NoArgumentsIsFullScreen320x240) {
    const ParseResult r = parse({});
    ASSERT_TRUE(r.error.empty());
    EXPECT_TRUE(r.commandLine.fullscreen);
    EXPECT_FALSE(r.commandLine.badFirstArgument);
    EXPECT_EQ(r.commandLine.windowWidth, 320);
    EXPECT_EQ(r.commandLine.windowHeight, 240);
    EXPECT_EQ(r.commandLine.action, Action::Run);
}

TEST(CommandLineMode, WindowAndFullscreenWords) {
    EXPECT_FALSE(parse({"window"}).commandLine.fullscreen);
    EXPECT_TRUE(parse({"fullscreen"}).commandLine.fullscreen);
}

TEST(CommandLineMode, OtherFirstWordsAreReportedAndRunFullScreen) {
    for (const char* word : {"Window", "-window", "WINDOW", "full", ""}) {
        const ParseResult r = parse({word});
        EXPECT_TRUE(r.error.empty()) << word;
        EXPECT_TRUE(r.commandLine.badFirstArgument) << word;
        EXPECT_TRUE(r.commandLine.fullscreen) << word;
    }
}

TEST(CommandLineSize, ThreeArgumentsGiveTheSize) {
    const ParseResult r = parse({"window", "640", "480"});
    ASSERT_TRUE(r.error.empty());
    EXPECT_FALSE(r.commandLine.fullscreen);
    EXPECT_EQ(r.commandLine.windowWidth, 640);
    EXPECT_EQ(r.commandLine.windowHeight, 480);
}

TEST(CommandLineSize, SizeIsTakenEvenAfterABadFirstWord) {
    const ParseResult r = parse({"Window", "640", "480"});
    ASSERT_TRUE(r.error.empty());
    EXPECT_TRUE(r.commandLine.badFirstArgument);
    EXPECT_TRUE(r.commandLine.fullscreen);
    EXPECT_EQ(r.commandLine.windowWidth, 640);
    EXPECT_EQ(r.commandLine.windowHeight, 480);
}

TEST(CommandLineSize, OtherArgumentCountsKeepTheDefaultSizeWithAWarning) {
    const ParseResult two = parse({"window", "640"});
    ASSERT_TRUE(two.error.empty());
    EXPECT_EQ(two.commandLine.windowWidth, 320);
    EXPECT_EQ(two.commandLine.windowHeight, 240);
    EXPECT_EQ(two.commandLine.warnings.size(), 1u);

    const ParseResult four = parse({"window", "640", "480", "7"});
    ASSERT_TRUE(four.error.empty());
    EXPECT_EQ(four.commandLine.windowWidth, 320);
    EXPECT_EQ(four.commandLine.windowHeight, 240);
    EXPECT_EQ(four.commandLine.warnings.size(), 1u);
}

TEST(CommandLineSize, BadSizesAreErrors) {
    for (const auto& [w, h] :
         std::vector<std::pair<std::string, std::string>>{{"0", "480"},
                                                          {"640", "0"},
                                                          {"-640", "480"},
                                                          {"abc", "480"},
                                                          {"640", "4x0"},
                                                          {"", "480"},
                                                          {"16385", "16"},
                                                          {"16", "99999999999999999999"},
                                                          {"2147483648", "1"},
                                                          {"-0", "480"},
                                                          {"+", "480"},
                                                          {"640", "-"},
                                                          {"640", " "},
                                                          {"640 ", "480"}}) {
        const ParseResult r = parse({"window", w, h});
        EXPECT_FALSE(r.error.empty()) << w << " x " << h;
    }
}

TEST(CommandLineSize, LargestAndSmallestSidesAreAccepted) {
    EXPECT_TRUE(parse({"window", "16384", "16384"}).error.empty());
    const ParseResult r = parse({"window", " +1", "1"});
    ASSERT_TRUE(r.error.empty());
    EXPECT_EQ(r.commandLine.windowWidth, 1);
}

TEST(CommandLineOptions, OptionsAreTakenOutBeforeThePositionalArguments) {
    const ParseResult r = parse({"--test-scene", "window", "640", "480"});
    ASSERT_TRUE(r.error.empty());
    EXPECT_EQ(r.commandLine.source, SourceKind::TestScene);
    EXPECT_FALSE(r.commandLine.fullscreen);
    EXPECT_EQ(r.commandLine.windowWidth, 640);

    const ParseResult middle = parse({"window", "--device=/dev/video2", "640", "480"});
    ASSERT_TRUE(middle.error.empty());
    EXPECT_EQ(middle.commandLine.source, SourceKind::Device);
    EXPECT_EQ(middle.commandLine.sourcePath, "/dev/video2");
    EXPECT_EQ(middle.commandLine.windowHeight, 480);
}

TEST(CommandLineOptions, SourcesAndActions) {
    EXPECT_EQ(parse({"--camera=2"}).commandLine.cameraIndex, 2);
    EXPECT_EQ(parse({"--camera=2"}).commandLine.source, SourceKind::CameraIndex);
    EXPECT_EQ(parse({"--video=clip.webm"}).commandLine.source, SourceKind::VideoFile);
    EXPECT_EQ(parse({"--video=clip.webm"}).commandLine.sourcePath, "clip.webm");
    EXPECT_EQ(parse({"--help"}).commandLine.action, Action::Help);
    EXPECT_EQ(parse({"window", "--version"}).commandLine.action, Action::Version);
    EXPECT_EQ(parse({"--list-cameras"}).commandLine.action, Action::ListCameras);
}

TEST(CommandLineOptions, RecordTakesAWebmOrMp4File) {
    EXPECT_EQ(parse({"--record=play.webm"}).commandLine.recordPath, "play.webm");
    EXPECT_EQ(parse({"window", "--record=/tmp/Play.MP4"}).commandLine.recordPath, "/tmp/Play.MP4");
    EXPECT_TRUE(parse({}).commandLine.recordPath.empty());
    for (const char* bad : {"--record=", "--record=play.avi", "--record=.webm", "--record=mp4"}) {
        EXPECT_FALSE(parse({bad}).error.empty()) << bad;
    }
}

TEST(CommandLineOptions, MalformedOptionsAreErrors) {
    for (const char* bad : {"--camera=", "--camera=-1", "--camera=x",
                            "--device=", "--video=", "--fullscreen", "--zoomy=2", "--"}) {
        EXPECT_FALSE(parse({bad}).error.empty()) << bad;
    }
    EXPECT_FALSE(parse({"--test-scene", "--camera=1"}).error.empty());
}

TEST(CommandLineOptions, ValueOptionsWithoutTheirValueShowTheirForm) {
    // "--video clip.webm" is the likely slip: the option is known, only the '=' is missing.
    EXPECT_EQ(parse({"--video", "clip.webm"}).error,
              "--video takes its value after '=': --video=FILE");
    EXPECT_EQ(parse({"--camera"}).error, "--camera takes its value after '=': --camera=N");
    EXPECT_EQ(parse({"window", "--device"}).error,
              "--device takes its value after '=': --device=PATH");
}

TEST(CommandLineOptions, FlagsGivenAValueAreErrors) {
    for (const char* bad : {"--test-scene=1", "--help=me", "--version=2", "--list-cameras=all"}) {
        const ParseResult r = parse({bad});
        const std::string name = std::string(bad).substr(0, std::string(bad).find('='));
        EXPECT_EQ(r.error, name + " takes no value") << bad;
    }
}

TEST(CommandLineOptions, CameraNumbersBeyondAnIntAreErrors) {
    EXPECT_FALSE(parse({"--camera=2147483648"}).error.empty());
    EXPECT_FALSE(parse({"--camera=99999999999999999999"}).error.empty());
    const ParseResult largest = parse({"--camera=2147483647"});
    ASSERT_TRUE(largest.error.empty()) << largest.error;
    EXPECT_EQ(largest.commandLine.cameraIndex, 2147483647);
}

TEST(CommandLineOptions, HelpMentionsEveryKey) {
    const std::string help = usageText("tavlomi");
    for (const char* word : {"Escape", "space", "keypad +", "keypad -", "1 2 3", "--camera=N",
                             "--device=PATH", "--video=FILE", "--test-scene"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

TEST(CommandLineZoom, AbsentMeansChosenByTheDisplay) {
    EXPECT_EQ(parse({"window"}).commandLine.zoom, 0);
}

TEST(CommandLineZoom, OneToSixteenAnywhereOnTheLine) {
    EXPECT_EQ(parse({"--zoom=1"}).commandLine.zoom, 1);
    const ParseResult r = parse({"window", "--zoom=16", "640", "480"});
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.commandLine.zoom, 16);
    EXPECT_FALSE(r.commandLine.fullscreen);
    EXPECT_EQ(r.commandLine.windowWidth, 640);
    EXPECT_EQ(r.commandLine.windowHeight, 480);
}

TEST(CommandLineZoom, AnythingElseIsAnErrorNamingTheRange) {
    for (const char* bad : {"--zoom=0", "--zoom=17", "--zoom=-2", "--zoom=", "--zoom=2x",
                            "--zoom=two", "--zoom=99999999999999999999", "--zoom"}) {
        const ParseResult r = parse({"window", bad});
        EXPECT_FALSE(r.error.empty()) << bad;
        if (std::string(bad).starts_with("--zoom=")) {
            EXPECT_NE(r.error.find("1 to 16"), std::string::npos) << r.error;
        }
    }
}

TEST(CommandLineOptions, HelpListsEveryKeyOfTheTableWithItsAction) {
    const std::string help = usageText("tavlomi");
    for (const KeyHelp& entry : kKeyHelp) {
        const std::size_t keys = help.find("  " + std::string(entry.keys) + " ");
        ASSERT_NE(keys, std::string::npos) << entry.keys;
        const std::size_t lineEnd = help.find('\n', keys);
        EXPECT_NE(help.substr(keys, lineEnd - keys).find(entry.action), std::string::npos)
            << entry.keys;
    }
    for (const char* word : {"F1", "F11", "F12", "--zoom=N"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace tavlomi
