#include "capture/camera_choice.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace tavlomi {
namespace {

// Device caps as a UVC driver reports them: a picture node, and its metadata twin.
constexpr std::uint32_t kPictureNodeCaps = 0x04200001;
constexpr std::uint32_t kMetadataNodeCaps = 0x04a00000;

const StreamFormat kJpeg{"image/jpeg", ""};
const StreamFormat kYuy2{"video/x-raw", "YUY2"};
const StreamFormat kGray8{"video/x-raw", "GRAY8"};

CameraDevice colourCamera() {
    return {"Integrated Camera: Integrated C",
            "/dev/video0",
            {"/dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index0"},
            {kJpeg, kYuy2},
            kPictureNodeCaps};
}

CameraDevice metadataNode() {
    return {"Integrated Camera: Integrated C",
            "/dev/video1",
            {"/dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index1"},
            {},
            kMetadataNodeCaps};
}

CameraDevice infraredCamera() {
    return {"Integrated Camera: Integrated I",
            "/dev/video2",
            {"/dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index2"},
            {kGray8},
            kPictureNodeCaps};
}

CameraDevice depthCamera() {
    return {"Intel(R) RealSense(TM) Depth Camera 435",
            "/dev/video4",
            {},
            {{"video/x-raw", "GRAY16_LE"}, {"video/x-raw", "Z16"}},
            0};
}

CameraDevice usbCamera(const std::string& name, const std::string& node) {
    return {name, node, {}, {kYuy2}, 0};
}

// ---- What kind of camera a device is ----

TEST(CameraKindTest, GreyFormatsOfInfraredAndDepthSensors) {
    for (const char* format :
         {"GRAY8", "GRAY16_LE", "GRAY16_BE", "GRAY10_LE32", "Y16", "Z16", "GREY", "Y8", "gray8"}) {
        EXPECT_TRUE(isGreyFormat(format)) << format;
    }
    for (const char* format : {"YUY2", "NV12", "I420", "Y444", "Y41B", "Y42B", "YVYU", "BGR", ""}) {
        EXPECT_FALSE(isGreyFormat(format)) << format;
    }
}

TEST(CameraKindTest, DevicesAreToldApartByTheirFormatsAndProperties) {
    EXPECT_EQ(classifyCamera(colourCamera()), CameraKind::Colour);
    EXPECT_EQ(classifyCamera(infraredCamera()), CameraKind::Monochrome);
    EXPECT_EQ(classifyCamera(depthCamera()), CameraKind::Monochrome);
    EXPECT_EQ(classifyCamera(metadataNode()), CameraKind::NoPicture);

    CameraDevice jpegOnly{"HD Webcam", "/dev/video6", {}, {kJpeg}, 0};
    EXPECT_EQ(classifyCamera(jpegOnly), CameraKind::Colour);
    CameraDevice noCaps{"Mystery", "/dev/video8", {}, {}, 0};
    EXPECT_EQ(classifyCamera(noCaps), CameraKind::NoPicture);
    CameraDevice undecodable{"Industrial", "/dev/video9", {}, {{"video/x-bayer", "rggb"}}, 0};
    EXPECT_EQ(classifyCamera(undecodable), CameraKind::NoPicture);
}

TEST(CameraKindTest, MetadataBitsOverrideFormats) {
    CameraDevice node = colourCamera();
    node.v4l2DeviceCaps = kMetadataNodeCaps;
    EXPECT_EQ(classifyCamera(node), CameraKind::NoPicture);
    node.v4l2DeviceCaps = 0x00001000;  // multi-planar capture is a picture node too
    EXPECT_EQ(classifyCamera(node), CameraKind::Colour);
}

TEST(CameraKindTest, AnInfraredNameMarksAColourLookingStream) {
    CameraDevice device = usbCamera("Integrated IR Camera", "/dev/video2");
    EXPECT_EQ(classifyCamera(device), CameraKind::Monochrome);
    device.name = "Windows Hello Infrared Sensor";
    EXPECT_EQ(classifyCamera(device), CameraKind::Monochrome);
    for (const char* name : {"Irisbond Camera", "Fair Cam", "USB2.0 HD UVC WebCam: USB2.0 HD"}) {
        device.name = name;
        EXPECT_EQ(classifyCamera(device), CameraKind::Colour) << name;
    }
}

// ---- The default camera and the list ----

TEST(DefaultCameraTest, FirstColourCameraIsTheDefault) {
    const std::vector<CameraDevice> laptop = {infraredCamera(), metadataNode(), colourCamera()};
    EXPECT_EQ(defaultCameraIndex(laptop), 2u);
    const std::vector<CameraDevice> two = {usbCamera("A", "/dev/video0"),
                                           usbCamera("B", "/dev/video2")};
    EXPECT_EQ(defaultCameraIndex(two), 0u);
}

TEST(DefaultCameraTest, NoColourCameraMeansNoDefault) {
    const std::vector<CameraDevice> sensors = {infraredCamera(), metadataNode(), depthCamera()};
    EXPECT_EQ(defaultCameraIndex(sensors), std::nullopt);
    EXPECT_EQ(defaultCameraIndex({}), std::nullopt);
}

TEST(CameraListTest, EachDeviceWithIndexNameNodeKindAndTheDefault) {
    const std::vector<CameraDevice> devices = {infraredCamera(), colourCamera(), metadataNode(),
                                               CameraDevice{"Virtual", "", {}, {kYuy2}, 0}};
    EXPECT_EQ(cameraListText(devices),
              "0: Integrated Camera: Integrated I (/dev/video2)  infrared, depth or grey only\n"
              "    /dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index2\n"
              "1: Integrated Camera: Integrated C (/dev/video0)  colour  [default]\n"
              "    /dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index0\n"
              "2: Integrated Camera: Integrated C (/dev/video1)  no picture (metadata or an "
              "unknown format)\n"
              "    /dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index1\n"
              "3: Virtual  colour\n");
}

TEST(CameraListTest, EmptyAndColourlessLists) {
    EXPECT_EQ(cameraListText({}), "No camera found.\n");
    const std::vector<CameraDevice> sensors = {depthCamera()};
    EXPECT_EQ(cameraListText(sensors),
              "0: Intel(R) RealSense(TM) Depth Camera 435 (/dev/video4)  infrared, depth or grey "
              "only\n"
              "No colour camera: without --camera or --device the toy shows its built-in test "
              "scene.\n");
}

TEST(CameraListTest, LabelIsTheNodeElseTheName) {
    EXPECT_EQ(cameraLabel(colourCamera()), "/dev/video0");
    EXPECT_EQ(cameraLabel(CameraDevice{"Virtual", "", {}, {}, 0}), "Virtual");
}

// ---- --device ----

// Links and nodes of a pretend /dev: each known path resolves to its target; others do not exist.
PathResolver fakeDev(std::map<std::string, std::string> targets) {
    return [targets = std::move(targets)](const std::string& path) -> std::optional<std::string> {
        const auto found = targets.find(path);
        if (found == targets.end()) return std::nullopt;
        return found->second;
    };
}

const std::vector<CameraDevice>& laptopDevices() {
    static const std::vector<CameraDevice> devices = {colourCamera(), metadataNode(),
                                                      infraredCamera()};
    return devices;
}

TEST(DeviceArgumentTest, NodeNamesItsDeviceEvenAnInfraredOne) {
    const auto resolve = fakeDev({{"/dev/video2", "/dev/video2"}});
    const DeviceChoice choice = chooseDevice("/dev/video2", laptopDevices(), resolve);
    EXPECT_EQ(choice.index, 2u);
    EXPECT_TRUE(choice.error.empty());
}

TEST(DeviceArgumentTest, ByIdPathNamesItsDevice) {
    const DeviceChoice listed =
        chooseDevice("/dev/v4l/by-id/usb-Chicony_Integrated_Camera_0001-video-index0",
                     laptopDevices(), fakeDev({}));
    EXPECT_EQ(listed.index, 0u);

    // A link the device's own list lacks is followed to its node.
    const auto resolve =
        fakeDev({{"/dev/v4l/by-path/pci-0000:00:14.0-usb-0:8:1.2-video-index0", "/dev/video2"},
                 {"/dev/video2", "/dev/video2"}});
    const DeviceChoice followed = chooseDevice(
        "/dev/v4l/by-path/pci-0000:00:14.0-usb-0:8:1.2-video-index0", laptopDevices(), resolve);
    EXPECT_EQ(followed.index, 2u);
}

TEST(DeviceArgumentTest, UnlistedNodeIsOpenedDirectly) {
    const auto resolve = fakeDev(
        {{"/dev/v4l/by-id/usb-Other-video-index0", "/dev/video7"}, {"/dev/video7", "/dev/video7"}});
    const DeviceChoice choice =
        chooseDevice("/dev/v4l/by-id/usb-Other-video-index0", laptopDevices(), resolve);
    EXPECT_EQ(choice.index, std::nullopt);
    EXPECT_EQ(choice.node, "/dev/video7");
    EXPECT_TRUE(choice.error.empty());
}

TEST(DeviceArgumentTest, MissingPathIsAClearError) {
    const DeviceChoice choice = chooseDevice("/dev/video9", laptopDevices(), fakeDev({}));
    EXPECT_EQ(choice.index, std::nullopt);
    EXPECT_TRUE(choice.node.empty());
    EXPECT_EQ(choice.error, "there is no /dev/video9 (see --list-cameras)");
}

TEST(DeviceArgumentTest, PartOfTheNameInAnyCase) {
    const std::vector<CameraDevice> devices = {
        usbCamera("Microsoft LifeCam HD-3000", "/dev/video0"),
        usbCamera("Logitech BRIO", "/dev/video2")};
    EXPECT_EQ(chooseDevice("brio", devices, fakeDev({})).index, 1u);
    EXPECT_EQ(chooseDevice("LIFECAM", devices, fakeDev({})).index, 0u);
    EXPECT_EQ(chooseDevice("Cam HD", devices, fakeDev({})).index, 0u);
}

TEST(DeviceArgumentTest, NoNameMatchIsAClearError) {
    const std::vector<CameraDevice> devices = {usbCamera("Logitech BRIO", "/dev/video0")};
    EXPECT_EQ(chooseDevice("lifecam", devices, fakeDev({})).error,
              "no camera's name contains 'lifecam' (see --list-cameras)");
    EXPECT_EQ(chooseDevice("lifecam", {}, fakeDev({})).error,
              "no camera's name contains 'lifecam' (no camera found)");
    EXPECT_EQ(chooseDevice("lifecam", devices, fakeDev({})).index, std::nullopt);
}

TEST(DeviceArgumentTest, AmbiguousNameIsAClearErrorNamingTheCandidates) {
    const std::vector<CameraDevice> devices = {usbCamera("USB Camera A", "/dev/video0"),
                                               infraredCamera(),
                                               usbCamera("USB Camera B", "/dev/video4")};
    const DeviceChoice choice = chooseDevice("usb camera", devices, fakeDev({}));
    EXPECT_EQ(choice.index, std::nullopt);
    EXPECT_EQ(choice.error,
              "'usb camera' matches several cameras: 0: USB Camera A (/dev/video0), 2: USB Camera "
              "B (/dev/video4); name one by its node or its /dev/v4l/by-id path");
}

TEST(DeviceArgumentTest, SeveralMatchesNarrowToTheExactNameThenToColour) {
    const std::vector<CameraDevice> named = {usbCamera("Camera Pro", "/dev/video0"),
                                             usbCamera("Camera", "/dev/video2")};
    EXPECT_EQ(chooseDevice("camera", named, fakeDev({})).index, 1u);
    // Colour, metadata and infrared nodes of one laptop camera all share "Integrated Camera".
    EXPECT_EQ(chooseDevice("integrated", laptopDevices(), fakeDev({})).index, 0u);
}

// A scratch directory standing in for /dev with a real by-id link.
class FakeDevDir {
  public:
    FakeDevDir() {
        root_ = std::filesystem::temp_directory_path() /
                ("tavlomi-dev-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(root_ / "v4l" / "by-id");
        std::ofstream(root_ / "video0").put('x');
        std::ofstream(root_ / "video2").put('x');
        std::filesystem::create_symlink("../../video2", byId() / "usb-Logitech_BRIO-video-index0");
        std::filesystem::create_symlink("../../video0", byId() / "usb-Chicony-video-index0");
        std::ofstream(byId() / "not-a-link").put('x');
    }
    ~FakeDevDir() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    std::filesystem::path root() const { return root_; }
    std::filesystem::path byId() const { return root_ / "v4l" / "by-id"; }

  private:
    std::filesystem::path root_;
};

TEST(DevicePathTest, RealLinksAreFollowed) {
    const FakeDevDir dev;
    const std::string node = std::filesystem::canonical(dev.root() / "video2").string();
    const std::string link = (dev.byId() / "usb-Logitech_BRIO-video-index0").string();
    EXPECT_EQ(resolveDevicePath(link), node);
    EXPECT_EQ(resolveDevicePath((dev.root() / "video5").string()), std::nullopt);

    const std::vector<CameraDevice> devices = {usbCamera("Chicony", "/dev/video-elsewhere"),
                                               usbCamera("Logitech BRIO", node)};
    EXPECT_EQ(chooseDevice(link, devices, resolveDevicePath).index, 1u);
}

TEST(DevicePathTest, LinksToANodeAreFound) {
    const FakeDevDir dev;
    const std::string node = (dev.root() / "video2").string();
    EXPECT_EQ(linksTo(node, dev.byId().string()),
              std::vector<std::string>{(dev.byId() / "usb-Logitech_BRIO-video-index0").string()});
    EXPECT_TRUE(linksTo((dev.root() / "video9").string(), dev.byId().string()).empty());
    EXPECT_TRUE(linksTo(node, (dev.root() / "no-such-dir").string()).empty());
}

// ---- A lost camera coming back ----

TEST(ReturningCameraTest, SameByIdLinkWinsWhateverTheNode) {
    const CameraDevice lost = colourCamera();
    CameraDevice back = colourCamera();
    back.node = "/dev/video4";
    const std::vector<CameraDevice> now = {usbCamera("Other", "/dev/video0"), back};
    EXPECT_EQ(findReturningCamera(lost, now), 1u);
}

TEST(ReturningCameraTest, SameNameOfTheSameKindWithoutLinks) {
    CameraDevice lost = usbCamera("Logitech BRIO", "/dev/video0");
    const std::vector<CameraDevice> now = {
        usbCamera("Other", "/dev/video0"),
        CameraDevice{"Logitech BRIO", "/dev/video3", {}, {kGray8}, 0},
        usbCamera("Logitech BRIO", "/dev/video5")};
    EXPECT_EQ(findReturningCamera(lost, now), 2u);
}

TEST(ReturningCameraTest, SameNameAndNodePreferred) {
    const CameraDevice lost = usbCamera("Twin", "/dev/video2");
    const std::vector<CameraDevice> now = {usbCamera("Twin", "/dev/video0"),
                                           usbCamera("Twin", "/dev/video2")};
    EXPECT_EQ(findReturningCamera(lost, now), 1u);
}

TEST(ReturningCameraTest, NamelessCameraByItsNode) {
    const CameraDevice lost{"", "/dev/video6", {}, {}, 0};
    const std::vector<CameraDevice> now = {usbCamera("Colour", "/dev/video0"),
                                           CameraDevice{"Grey", "/dev/video6", {}, {kGray8}, 0}};
    EXPECT_EQ(findReturningCamera(lost, now), 1u);
}

TEST(ReturningCameraTest, FailingThatAnyColourCamera) {
    const CameraDevice lost = colourCamera();
    const std::vector<CameraDevice> now = {infraredCamera(), usbCamera("Spare", "/dev/video6")};
    EXPECT_EQ(findReturningCamera(lost, now), 1u);
}

TEST(ReturningCameraTest, NothingWhileNoSuitableCameraIsThere) {
    const CameraDevice lost = colourCamera();
    const std::vector<CameraDevice> now = {infraredCamera(), metadataNode()};
    EXPECT_EQ(findReturningCamera(lost, now), std::nullopt);
    EXPECT_EQ(findReturningCamera(lost, {}), std::nullopt);
}

// ---- The capture mode nearest the grid ----

CaptureMode mode(StreamFormat format, int width, int height, int fps) {
    return {std::move(format), width, height, FrameRate{fps, 1}};
}

// A typical HD webcam: raw YUYV is slow above VGA, MJPEG gives 30 fps at every size.
std::vector<CaptureMode> hdWebcam() {
    return {mode(kYuy2, 640, 480, 30),   mode(kYuy2, 1280, 720, 10), mode(kYuy2, 1920, 1080, 5),
            mode(kYuy2, 320, 240, 30),   mode(kJpeg, 640, 480, 30),  mode(kJpeg, 1280, 720, 30),
            mode(kJpeg, 1920, 1080, 30), mode(kJpeg, 320, 240, 30)};
}

TEST(CaptureModeTest, RawAtTheGridSizeWhenItIsSmooth) {
    EXPECT_EQ(chooseCaptureMode(hdWebcam(), 320, 240), 3u);
    EXPECT_EQ(chooseCaptureMode(hdWebcam(), 640, 480), 0u);
}

TEST(CaptureModeTest, JpegWhenRawIsTooSlowAtTheSize) {
    EXPECT_EQ(chooseCaptureMode(hdWebcam(), 1280, 720), 5u);
    EXPECT_EQ(chooseCaptureMode(hdWebcam(), 1920, 1080), 6u);
}

TEST(CaptureModeTest, NearestSizeAndTheLargerOnATie) {
    const std::vector<CaptureMode> modes = {mode(kYuy2, 320, 240, 30), mode(kYuy2, 640, 480, 30)};
    EXPECT_EQ(chooseCaptureMode(modes, 400, 300), 0u);   // 80 + 60 against 240 + 180
    EXPECT_EQ(chooseCaptureMode(modes, 480, 360), 1u);   // 160 + 120 either way
    EXPECT_EQ(chooseCaptureMode(modes, 100, 1000), 0u);  // 220 + 760 against 540 + 520
}

TEST(CaptureModeTest, ColourBeforeGreyAndSmoothBeforeNear) {
    const std::vector<CaptureMode> modes = {mode(kGray8, 320, 240, 30),
                                            mode(kYuy2, 1920, 1080, 30)};
    EXPECT_EQ(chooseCaptureMode(modes, 320, 240), 1u);
    const std::vector<CaptureMode> jerky = {mode(kYuy2, 320, 240, 5), mode(kJpeg, 1280, 960, 15)};
    EXPECT_EQ(chooseCaptureMode(jerky, 320, 240), 1u);
}

TEST(CaptureModeTest, RateNearestThirtyFromBelowThenTheSlowerFast) {
    const std::vector<CaptureMode> rates = {mode(kYuy2, 320, 240, 60), mode(kYuy2, 320, 240, 15),
                                            mode(kYuy2, 320, 240, 30)};
    EXPECT_EQ(chooseCaptureMode(rates, 320, 240), 2u);
    const std::vector<CaptureMode> fast = {mode(kYuy2, 320, 240, 120), mode(kYuy2, 320, 240, 50)};
    EXPECT_EQ(chooseCaptureMode(fast, 320, 240), 1u);
    const std::vector<CaptureMode> ntsc = {mode(kYuy2, 320, 240, 25),
                                           {kYuy2, 320, 240, FrameRate{30000, 1001}}};
    EXPECT_EQ(chooseCaptureMode(ntsc, 320, 240), 1u);
}

TEST(CaptureModeTest, FullTieKeepsTheFirst) {
    const std::vector<CaptureMode> modes = {mode({"video/x-raw", "NV12"}, 320, 240, 30),
                                            mode(kYuy2, 320, 240, 30)};
    EXPECT_EQ(chooseCaptureMode(modes, 320, 240), 0u);
}

TEST(CaptureModeTest, NothingDecodableGivesNoMode) {
    const std::vector<CaptureMode> modes = {mode({"video/x-bayer", "rggb"}, 320, 240, 30),
                                            mode({"video/x-h264", ""}, 320, 240, 30)};
    EXPECT_EQ(chooseCaptureMode(modes, 320, 240), std::nullopt);
    EXPECT_EQ(chooseCaptureMode({}, 320, 240), std::nullopt);
}

TEST(CaptureModeTest, SizesInStepsNearestTheGrid) {
    EXPECT_EQ(nearestInRange(320, 1, 1920, 1), 320);
    EXPECT_EQ(nearestInRange(330, 16, 1920, 16), 336);  // 320 and 336 lie 10 and 6 away
    EXPECT_EQ(nearestInRange(328, 16, 1920, 16), 320);  // 8 either way: the smaller
    EXPECT_EQ(nearestInRange(5000, 16, 1920, 16), 1920);
    EXPECT_EQ(nearestInRange(5000, 16, 1930, 16), 1920);  // 1936 is past the end
    EXPECT_EQ(nearestInRange(3, 16, 1920, 16), 16);
    EXPECT_EQ(nearestInRange(7, 0, 100, 0), 7);
    EXPECT_EQ(nearestInRange(100, 50, 40, 1), 50);
    EXPECT_EQ(nearestInRange(320, 1, 2147483647, 1), 320);
    EXPECT_EQ(nearestInRange(2147483647, 1, 2147483647, 2), 2147483647);
}

TEST(CaptureModeTest, RatesInRangesNearestThirty) {
    EXPECT_EQ(rateInRange({0, 1}, {60, 1}), (FrameRate{30, 1}));
    EXPECT_EQ(rateInRange({0, 1}, {15, 1}), (FrameRate{15, 1}));
    EXPECT_EQ(rateInRange({60, 1}, {120, 1}), (FrameRate{60, 1}));
    EXPECT_EQ(rateInRange({30000, 1001}, {30000, 1001}), (FrameRate{30000, 1001}));
    EXPECT_EQ(rateInRange({1, 1}, {30, 1}), (FrameRate{30, 1}));
}

TEST(PermissionTextTest, NamesTheVideoGroup) {
    EXPECT_NE(permissionDeniedText().find("permission denied"), std::string::npos);
    EXPECT_NE(permissionDeniedText().find("'video' group"), std::string::npos);
}

}  // namespace
}  // namespace tavlomi
