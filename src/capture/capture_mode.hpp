#pragma once

// What to ask of a camera: the capture modes its caps offer, the one nearest the grid, and the
// caps text that asks for it. Plain descriptions in, decisions out: the GStreamer edge reads a
// source's caps into OfferedStream and turns capsText() back into caps.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavlomi {

inline constexpr std::string_view kRawVideo = "video/x-raw";
inline constexpr std::string_view kJpegImage = "image/jpeg";

// One kind of stream a source offers, as a caps structure names it: {"video/x-raw", "YUY2"},
// {"image/jpeg", ""}. format is empty when the structure has none.
struct StreamFormat {
    std::string mediaType;
    std::string format;

    bool operator==(const StreamFormat&) const = default;
};

// True for the single-channel formats of infrared and depth sensors: GRAY8, GRAY16_LE, Y16, Z16...
bool isGreyFormat(std::string_view format);

// Raw video or JPEG: what the capture chain can decode.
bool isDecodable(const StreamFormat& format);

// JPEG, or raw video in a format that is not grey.
bool isColour(const StreamFormat& format);

// A frame rate num/den; 0/1 when the source does not say.
struct FrameRate {
    int num = 0;
    int den = 1;

    bool operator==(const FrameRate&) const = default;
};

// One way a source can deliver: a stream kind at one size and rate.
struct CaptureMode {
    StreamFormat format;
    int width = 0;
    int height = 0;
    FrameRate rate;

    bool operator==(const CaptureMode&) const = default;
};

// The rate ceiling worth asking for, and the floor below which motion looks jerky.
inline constexpr int kWantedFps = 30;
inline constexpr int kSmoothFps = 15;

// The mode to ask for, as an index into modes; nullopt when none is raw video or JPEG. In order
// of weight: colour over grey; a smooth rate (or an unknown one) over a jerky one; the size
// nearest the grid (|dw| + |dh|), the larger on a tie; the rate nearest kWantedFps from below
// (faster rates count as kWantedFps, the slower of them wins); raw over JPEG; the earlier one.
std::optional<std::size_t> chooseCaptureMode(std::span<const CaptureMode> modes, int gridWidth,
                                             int gridHeight);

// The size in min..max, in steps of step from min, nearest wanted; the smaller on a tie. step < 1
// counts as 1, a negative min as 0 (sizes never are); a crossed range yields min.
int nearestInRange(int wanted, int min, int max, int step);

// The rate to ask of a source whose rates run from min to max: kWantedFps when it lies inside,
// else the end nearer to it.
FrameRate rateInRange(FrameRate min, FrameRate max);

struct SizeRange {
    int min = 0;
    int max = 0;
    int step = 1;
};

struct RateRange {
    FrameRate min;
    FrameRate max;
};

// A field of an offered caps structure: the values listed (one when it is fixed), or a range.
template <class Value, class Range>
struct OfferedField {
    std::vector<Value> listed;
    std::optional<Range> range;  // when set, listed is ignored
};

// One structure of the caps a source offers, read field by field. A field the structure lacks is
// nullopt and leaves that part of the mode open; a field of a kind not read (a list of ranges,
// say) is present with nothing listed, and offers no mode.
struct OfferedStream {
    std::string mediaType;
    bool systemMemory = true;  // false under caps features such as memory:DMABuf
    std::optional<std::vector<std::string>> formats;
    std::optional<OfferedField<int, SizeRange>> width;
    std::optional<OfferedField<int, SizeRange>> height;
    std::optional<OfferedField<FrameRate, RateRange>> rate;
};

// Every decodable mode in system memory that offered allows, in its order (for each structure:
// formats, widths, heights, rates, the last varying fastest). An open size is the grid's, an open
// rate unknown, a JPEG structure's format empty; a size range gives the size nearest the grid,
// a rate range rateInRange().
std::vector<CaptureMode> offeredModes(std::span<const OfferedStream> offered, int gridWidth,
                                      int gridHeight);

// The caps that ask for mode in GStreamer's text form, e.g.
// "video/x-raw,format=(string)YUY2,width=(int)320,height=(int)240,framerate=(fraction)30/1";
// the format and the rate are left out when not known.
std::string capsText(const CaptureMode& mode);

// How messages name a mode: "YUY2 320 x 240 at 30 fps", "image/jpeg 176 x 144 at 30000/1001 fps".
std::string describeMode(const CaptureMode& mode);

}  // namespace tavlomi
