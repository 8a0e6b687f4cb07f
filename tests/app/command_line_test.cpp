#include "app/command_line.hpp"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tavlomi
