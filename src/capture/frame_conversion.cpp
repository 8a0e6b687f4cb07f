#include "capture/frame_conversion.hpp"

#include <cstddef>

#include "common/int_math.hpp"

namespace tavlomi {

namespace {
constexpr float kR = 0.212671f;
constexpr float kG = 0.71516f;
constexpr float kB = 0.071169f;
}  // namespace

int luminance(int r, int g, int b) {
    // Every product and the sum are exact in double precision, so truncation sees the exact value.
    const double sum = (static_cast<double>(g) * kG + static_cast<double>(r) * kR) +
                       static_cast<double>(b) * kB;
    return trunc_to_int(sum);
}

void convertFrame(std::span<const std::uint8_t> frame, std::span<RgbCell> rgb,
                  std::span<std::uint8_t> luma) {
    const std::size_t cellCount = rgb.size();
    for (std::size_t k = 0; k < cellCount; ++k) {
        const std::size_t p = cellCount - 1 - k;
        const int b = frame[3 * p];
        const int g = frame[3 * p + 1];
        const int r = frame[3 * p + 2];
        rgb[k] = makeRgbCell(r, g, b);
        luma[k] = static_cast<std::uint8_t>(luminance(r, g, b));
    }
}

}  // namespace tavlomi
