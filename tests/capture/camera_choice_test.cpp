#include "capture/camera_choice.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch_folder.hpp"

namespace tavlomi {
namespace {

const StreamFormat kJpeg{"image/jpeg", ""};
const StreamFormat kYuy2{"video/x-raw", "YUY2"};
const StreamFormat kGray8{"video/x-raw", "GRAY8"};
// Device caps as a UVC driver reports them: a picture node and its metadata twin.
constexpr std::uint32_t kPicture = 0x04200001;
constexpr std::uint32_t kMetadata = 0x04a00000;
const std::string kById = "/dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index";

CameraDevice usb(const std::string& name, const std::string& node,
                 std::vector<StreamFormat> formats = {kYuy2}, std::uint32_t caps = 0) {
    return {name, node, {}, std::move(formats), caps, "", ""};
}

// A laptop's camera: colour, metadata and infrared nodes that share most of a name.
CameraDevice laptop(char last, int index, std::vector<StreamFormat> formats, std::uint32_t caps) {
    const std::string number = std::to_string(index);
    CameraDevice device = usb(std::string("Integrated Camera: Integrated ") + last,
                              "/dev/video" + number, std::move(formats), caps);
    device.byIdPaths = {kById + number};
    return device;
}
const CameraDevice kColour = laptop('C', 0, {kJpeg, kYuy2}, kPicture);
const CameraDevice kMetadataNode = laptop('C', 1, {}, kMetadata);
const CameraDevice kInfrared = laptop('I', 2, {kGray8}, kPicture);
const std::vector<CameraDevice> kLaptop = {kColour, kMetadataNode, kInfrared};
const CameraDevice kDepth = usb("Intel(R) RealSense(TM) Depth Camera 435", "/dev/video4",
                                {{"video/x-raw", "GRAY16_LE"}, {"video/x-raw", "Z16"}});

TEST(CameraChoice, KindsDefaultAndList) {
    using enum CameraKind;
    const std::pair<CameraDevice, CameraKind> kinds[] = {
        {kColour, Colour},
        {kMetadataNode, NoPicture},
        {kInfrared, Monochrome},
        {usb("Mystery", "", {}), NoPicture},
        {usb("Industrial", "", {{"video/x-bayer", "rggb"}}), NoPicture},
        // The metadata bits outweigh the formats; multi-planar capture is a picture node.
        {usb("Cam", "", {kJpeg}, kMetadata), NoPicture},
        {usb("Cam", "", {kJpeg}, 0x1000), Colour},
        // A name that says infrared marks a colour-looking stream; "ir" inside a word does not.
        {usb("Integrated IR Camera", ""), Monochrome},
        {usb("Windows Hello Infrared Sensor", ""), Monochrome},
        {usb("Irisbond Camera", ""), Colour}};
    for (const auto& [device, kind] : kinds)
        EXPECT_EQ(classifyCamera(device), kind) << device.name;
    EXPECT_EQ(defaultCameraIndex(std::vector{kInfrared, kMetadataNode, kColour}), 2u);
    EXPECT_EQ(defaultCameraIndex(std::vector{usb("A", "/dev/video0"), usb("B", "/dev/video2")}),
              0u);
    EXPECT_EQ(defaultCameraIndex(std::vector{kInfrared, kMetadataNode, kDepth}), std::nullopt);
    EXPECT_EQ(cameraLabel(kColour), "/dev/video0");
    EXPECT_EQ(cameraLabel(usb("Virtual", "")), "Virtual");
    EXPECT_EQ(cameraListText(std::vector{kInfrared, kColour, kMetadataNode, usb("Virtual", "")}),
              "0: Integrated Camera: Integrated I (/dev/video2)  infrared, depth or grey only\n"
              "    /dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index2\n"
              "1: Integrated Camera: Integrated C (/dev/video0)  colour  [default]\n"
              "    /dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index0\n"
              "2: Integrated Camera: Integrated C (/dev/video1)  no picture (metadata or an "
              "unknown format)\n"
              "    /dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index1\n"
              "3: Virtual  colour\n");
    EXPECT_EQ(cameraListText({}), "No camera found.\n");
    EXPECT_EQ(cameraListText(std::vector{kDepth}),
              "0: Intel(R) RealSense(TM) Depth Camera 435 (/dev/video4)  infrared, depth or grey "
              "only\nNo colour camera: without --camera or --device the toy shows its built-in "
              "test scene.\n");
}

TEST(CameraChoice, EachCameraIsListedOnceByItsMostDirectStackWhateverHidesIt) {
    const auto served = [](const char* name, const char* node, const char* stack,
                           const char* libcameraId = "") {
        CameraDevice device = usb(name, node);
        device.stack = stack;
        device.libcameraId = libcameraId;
        return device;
    };
    const char* id = "\\_SB_.PCI0.XHC_.RHUB.HS05-5:1.0-0c45:6366";
    const std::vector<CameraDevice> devices = {
        served("Integrated Camera", "/dev/video0", "PipeWire"),
        served("FakeCam", "", "PipeWire"),
        served("Integrated Camera: Integrated C", "/dev/video0", "V4L2"),
        served("Integrated Camera", "", "PipeWire", id),
        served(id, "", "libcamera", id),
        served("FakeCam", "", "PipeWire"),
        served("USB Camera", "/dev/video2", "V4L2"),
        served("USB Camera", "/dev/video2", "V4L2")};
    EXPECT_EQ(distinctCameras(devices), (std::vector<std::size_t>{1, 2, 4, 5, 6}));
    EXPECT_EQ(cameraListText(std::vector{devices[1], devices[2]}),
              "0: FakeCam (PipeWire)  colour  [default]\n"
              "1: Integrated Camera: Integrated C (/dev/video0, V4L2)  colour\n");
}

TEST(CameraChoice, DeviceArgumentIsAPathOrPartOfAName) {
    // Links and nodes of a pretend /dev: each path listed resolves to its target.
    const std::string byPath = "/dev/v4l/by-path/pci-0000:00:14.0-usb-0:8:1.2-video-index0";
    const std::map<std::string, std::string> dev = {
        {"/dev/video2", "/dev/video2"},
        {"/dev/video7", "/dev/video7"},
        {byPath, "/dev/video2"},
        {"/dev/v4l/by-id/usb-Other-video-index0", "/dev/video7"}};
    const PathResolver resolve = [&dev](const std::string& path) -> std::optional<std::string> {
        const auto found = dev.find(path);
        return found == dev.end() ? std::nullopt : std::optional(found->second);
    };
    const std::vector<CameraDevice> named = {
        usb("Microsoft LifeCam HD-3000", "/dev/video0"), usb("Logitech BRIO", "/dev/video2"),
        usb("Camera Pro", "/dev/video4"), usb("Camera", "/dev/video6")};
    const std::vector<CameraDevice> twoUsb = {usb("USB Camera A", "/dev/video0"), kInfrared,
                                              usb("USB Camera B", "/dev/video4")};
    const struct {
        std::string argument;
        std::vector<CameraDevice> devices;
        std::optional<std::size_t> index;
        std::string nodeOrError;
    } cases[] = {
        {"/dev/video2", kLaptop, 2, ""},  // a node names its device, even an infrared one
        {kById + "0", kLaptop, 0, ""},
        {byPath, kLaptop, 2, ""},
        {"/dev/v4l/by-id/usb-Other-video-index0", kLaptop, std::nullopt, "/dev/video7"},
        {"/dev/video9", kLaptop, std::nullopt, "there is no /dev/video9 (see --list-cameras)"},
        {"brio", named, 1, ""},
        {"Cam HD", named, 0, ""},
        {"camera", named, 3, ""},        // several matches narrow to the exact name,
        {"integrated", kLaptop, 0, ""},  // else to colour
        {"webcam", named, std::nullopt, "no camera's name contains 'webcam' (see --list-cameras)"},
        {"webcam", {}, std::nullopt, "no camera's name contains 'webcam' (no camera found)"},
        {"usb camera", twoUsb, std::nullopt,
         "'usb camera' matches several cameras: 0: USB Camera A (/dev/video0), "
         "2: USB Camera B (/dev/video4); name one by its node or its /dev/v4l/by-id path"},
    };
    for (const auto& c : cases) {
        const DeviceChoice choice = chooseDevice(c.argument, c.devices, resolve);
        EXPECT_EQ(choice.index, c.index) << c.argument;
        EXPECT_EQ(choice.node + choice.error, c.nodeOrError) << c.argument;
    }
}

TEST(CameraChoice, RealLinksAreFollowedAndFound) {
    const ScratchFolder root;
    const std::filesystem::path byId = root.path() / "v4l" / "by-id";
    std::filesystem::create_directories(byId);
    std::ofstream(root.path() / "video0").put('x');
    std::ofstream(root.path() / "video2").put('x');
    std::ofstream(byId / "not-a-link").put('x');
    std::filesystem::create_symlink("../../video2", byId / "usb-Logitech_BRIO-video-index0");
    std::filesystem::create_symlink("../../video0", byId / "usb-Chicony-video-index0");
    const std::string node = std::filesystem::canonical(root.path() / "video2").string();
    const std::string link = (byId / "usb-Logitech_BRIO-video-index0").string();
    EXPECT_EQ(resolveDevicePath(link), node);
    EXPECT_EQ(resolveDevicePath((root.path() / "video5").string()), std::nullopt);
    const std::vector<CameraDevice> devices = {usb("Chicony", "/dev/elsewhere"), usb("BRIO", node)};
    EXPECT_EQ(chooseDevice(link, devices, resolveDevicePath).index, 1u);
    EXPECT_EQ(linksTo(node, byId.string()), std::vector<std::string>{link});
    EXPECT_TRUE(linksTo((root.path() / "video9").string(), byId.string()).empty());
    EXPECT_TRUE(linksTo(node, (root.path() / "no-such-dir").string()).empty());
}

TEST(CameraChoice, ReturningCamera) {
    CameraDevice moved = kColour;
    moved.node = "/dev/video4";
    const CameraDevice other = usb("Other", "/dev/video0");
    const struct {
        const char* what;
        CameraDevice lost;
        std::vector<CameraDevice> now;
        std::optional<std::size_t> found;
    } cases[] = {
        {"a shared by-id link, whatever the node", kColour, {other, moved}, 1},
        {"the same name and kind",
         usb("BRIO", "/dev/video0"),
         {other, usb("BRIO", "/dev/video3", {kGray8}), usb("BRIO", "/dev/video5")},
         2},
        {"the same name and node first",
         usb("Twin", "/dev/video2"),
         {usb("Twin", "/dev/video0"), usb("Twin", "/dev/video2")},
         1},
        {"a nameless one by its node",
         usb("", "/dev/video6", {}),
         {other, usb("Grey", "/dev/video6", {kGray8})},
         1},
        {"else any colour camera", kColour, {kInfrared, usb("Spare", "/dev/video6")}, 1},
        {"else none", kColour, {kInfrared, kMetadataNode}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findReturningCamera(c.lost, c.now), c.found) << c.what;
}

}  // namespace
}  // namespace tavlomi
