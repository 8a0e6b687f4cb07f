#include "capture/capture_mode.hpp"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/int_math.hpp"

namespace tavlomi {

namespace {

bool isRaw(const StreamFormat& format) {
    return format.mediaType == kRawVideo;
}

bool isJpeg(const StreamFormat& format) {
    return format.mediaType == kJpegImage;
}

// A rate with a positive denominator; anything else counts as unknown.
bool rateKnown(FrameRate rate) {
    return rate.den > 0 && rate.num > 0;
}

// a < b for known rates, exactly.
bool rateBelow(FrameRate a, FrameRate b) {
    return static_cast<long long>(a.num) * b.den < static_cast<long long>(b.num) * a.den;
}

constexpr FrameRate kWantedRate{kWantedFps, 1};
constexpr FrameRate kSmoothRate{kSmoothFps, 1};

bool smooth(FrameRate rate) {
    return !rateKnown(rate) || !rateBelow(rate, kSmoothRate);
}

// An unknown rate is taken to be the wanted one.
FrameRate cappedRate(FrameRate rate) {
    if (!rateKnown(rate) || !rateBelow(rate, kWantedRate)) return kWantedRate;
    return rate;
}

FrameRate actualRate(FrameRate rate) {
    return rateKnown(rate) ? rate : kWantedRate;
}

long long sizeDistance(const CaptureMode& mode, int gridWidth, int gridHeight) {
    const long long dw = static_cast<long long>(mode.width) - gridWidth;
    const long long dh = static_cast<long long>(mode.height) - gridHeight;
    return (dw < 0 ? -dw : dw) + (dh < 0 ? -dh : dh);
}

long long area(const CaptureMode& mode) {
    return static_cast<long long>(mode.width) * mode.height;
}

// Whether a is to be preferred over b; equal modes are not.
bool better(const CaptureMode& a, const CaptureMode& b, int gridWidth, int gridHeight) {
    if (isColour(a.format) != isColour(b.format)) return isColour(a.format);
    if (smooth(a.rate) != smooth(b.rate)) return smooth(a.rate);
    const long long distanceA = sizeDistance(a, gridWidth, gridHeight);
    const long long distanceB = sizeDistance(b, gridWidth, gridHeight);
    if (distanceA != distanceB) return distanceA < distanceB;
    if (area(a) != area(b)) return area(a) > area(b);
    const FrameRate cappedA = cappedRate(a.rate);
    const FrameRate cappedB = cappedRate(b.rate);
    if (rateBelow(cappedA, cappedB) || rateBelow(cappedB, cappedA)) {
        return rateBelow(cappedB, cappedA);
    }
    const FrameRate actualA = actualRate(a.rate);
    const FrameRate actualB = actualRate(b.rate);
    if (rateBelow(actualA, actualB) || rateBelow(actualB, actualA)) {
        return rateBelow(actualA, actualB);
    }
    if (isRaw(a.format) != isRaw(b.format)) return isRaw(a.format);
    return false;
}

// The sizes a field allows; the grid's own when the field leaves the size open.
std::vector<int> sizesOf(const std::optional<OfferedField<int, SizeRange>>& field, int wanted) {
    if (!field) return {wanted};
    if (const std::optional<SizeRange>& range = field->range) {
        return {nearestInRange(wanted, range->min, range->max, range->step)};
    }
    return field->listed;
}

std::vector<FrameRate> ratesOf(const std::optional<OfferedField<FrameRate, RateRange>>& field) {
    if (!field) return {FrameRate{}};
    if (const std::optional<RateRange>& range = field->range) {
        return {rateInRange(range->min, range->max)};
    }
    return field->listed;
}

std::vector<std::string> formatsOf(const OfferedStream& stream) {
    if (stream.mediaType == kJpegImage || !stream.formats) return {""};
    return *stream.formats;
}

}  // namespace

bool isGreyFormat(std::string_view format) {
    static constexpr std::array<std::string_view, 16> kGrey = {
        "GREY", "Y8",  "Y800", "Y10",  "Y12",  "Y14",  "Y16",  "Y16_BE",
        "Y16I", "Z16", "INVZ", "INZI", "INVI", "INVR", "INRI", "RELI"};
    std::string upper(format);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.starts_with("GRAY")) return true;
    return std::find(kGrey.begin(), kGrey.end(), upper) != kGrey.end();
}

bool isDecodable(const StreamFormat& format) {
    return isRaw(format) || isJpeg(format);
}

bool isColour(const StreamFormat& format) {
    return isJpeg(format) || (isRaw(format) && !isGreyFormat(format.format));
}

std::optional<std::size_t> chooseCaptureMode(std::span<const CaptureMode> modes, int gridWidth,
                                             int gridHeight) {
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        if (!isDecodable(modes[i].format)) continue;
        if (!best || better(modes[i], modes[*best], gridWidth, gridHeight)) best = i;
    }
    return best;
}

int nearestInRange(int wanted, int min, int max, int step) {
    if (max < min) return min;
    const int stride = step < 1 ? 1 : step;
    // Sizes are never negative; from a non-negative min every difference below fits an int.
    const int low = min < 0 ? 0 : min;
    if (max < low) return min;
    const int value = clamp_to(wanted, low, max);
    const int lower = low + div_trunc(value - low, stride) * stride;
    const int pastLower = value - lower;
    if (max - lower < stride) return lower;
    return stride - pastLower < pastLower ? lower + stride : lower;
}

FrameRate rateInRange(FrameRate min, FrameRate max) {
    if (!rateKnown(max)) return max;
    if (rateBelow(max, kWantedRate)) return max;
    if (rateKnown(min) && rateBelow(kWantedRate, min)) return min;
    return kWantedRate;
}

std::vector<CaptureMode> offeredModes(std::span<const OfferedStream> offered, int gridWidth,
                                      int gridHeight) {
    std::vector<CaptureMode> modes;
    for (const OfferedStream& stream : offered) {
        if (!stream.systemMemory || !isDecodable({stream.mediaType, ""})) continue;
        const std::vector<int> widths = sizesOf(stream.width, gridWidth);
        const std::vector<int> heights = sizesOf(stream.height, gridHeight);
        const std::vector<FrameRate> rates = ratesOf(stream.rate);
        for (const std::string& format : formatsOf(stream)) {
            for (const int w : widths) {
                for (const int h : heights) {
                    for (const FrameRate rate : rates)
                        modes.push_back({{stream.mediaType, format}, w, h, rate});
                }
            }
        }
    }
    return modes;
}

std::string capsText(const CaptureMode& mode) {
    std::string text = mode.format.mediaType;
    if (!mode.format.format.empty()) text += ",format=(string)" + mode.format.format;
    text += ",width=(int)" + std::to_string(mode.width);
    text += ",height=(int)" + std::to_string(mode.height);
    if (rateKnown(mode.rate)) {
        text += ",framerate=(fraction)" + std::to_string(mode.rate.num) + "/" +
                std::to_string(mode.rate.den);
    }
    return text;
}

std::string describeMode(const CaptureMode& mode) {
    std::string text = mode.format.format.empty() ? mode.format.mediaType : mode.format.format;
    text += " " + std::to_string(mode.width) + " x " + std::to_string(mode.height);
    if (rateKnown(mode.rate)) {
        text += " at " + std::to_string(mode.rate.num) +
                (mode.rate.den == 1 ? std::string() : "/" + std::to_string(mode.rate.den)) + " fps";
    }
    return text;
}

}  // namespace tavlomi
