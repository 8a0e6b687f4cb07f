#include "effects/noise_field.hpp"

#include <algorithm>
#include <cstdint>

#include "common/int_math.hpp"

namespace tavlomi {

namespace {

constexpr int kWeights[5][5] = {
    {0, 1, 2, 1, 0}, {1, 4, 8, 4, 1}, {2, 8, 16, 8, 2}, {1, 4, 8, 4, 1}, {0, 1, 2, 1, 0},
};

// Divisors of generate's passes; the fast pass gets them as constants.
constexpr int kSpreadDivisor = 40;
constexpr int kMeanDivisor = 80;

// Width of the column blocks whose all-zero state the fast pass tracks; at least 2, so the
// kernel's reach from a block ends inside its two neighbours.
constexpr int kBlock = 32;

// 1/32768 and 1/255, both exact as written into a 32-bit float as the generator defines them.
constexpr float kPointStep = 1.0f / 32768.0f;
constexpr float kScaleStep = 1.0f / 255.0f;

// One byte per (row, block): 1 when the block's cells of that row are not all 0.
std::vector<std::uint8_t> nonZeroBlocks(const std::vector<int>& field, int width, int height,
                                        int blocksPerRow) {
    std::vector<std::uint8_t> flags(static_cast<std::size_t>(height) * blocksPerRow, 0);
    for (int y = 0; y < height; ++y) {
        const int* row = field.data() + static_cast<std::size_t>(y) * width;
        for (int j = 0; j < blocksPerRow; ++j) {
            const int begin = j * kBlock;
            const int end = std::min(width, begin + kBlock);
            int any = 0;
            for (int x = begin; x < end; ++x)
                any |= row[x];
            flags[static_cast<std::size_t>(y) * blocksPerRow + j] = any != 0 ? 1 : 0;
        }
    }
    return flags;
}

// The 5x5 kernel is 4 (a x a) plus the four lines of its border, a = [1 2 1]. With
// A[c] = rows y-1, y, y+1 of column c weighted 1 2 1 and E[c] = rows y-2 and y+2 added,
// s(x) = 4 (A[x-1] + 2 A[x] + A[x+1]) + (E[x-1] + 2 E[x] + E[x+1]) + A[x-2] + A[x+2].
template <typename Divide>
void smoothSpan(const int* center, int width, int x0, int x1, int* a, int* e, int* out,
                Divide divide) {
    const int* r0 = center - 2 * width;
    const int* r1 = center - width;
    const int* r3 = center + width;
    const int* r4 = center + 2 * width;
    for (int c = x0 - 2; c <= x1 + 2; ++c) {
        a[c] = r1[c] + 2 * center[c] + r3[c];
        e[c] = r0[c] + r4[c];
    }
    for (int x = x0; x <= x1; ++x) {
        const int s = 4 * (a[x - 1] + 2 * a[x] + a[x + 1]) + (e[x - 1] + 2 * e[x] + e[x + 1]) +
                      a[x - 2] + a[x + 2];
        out[x] = clamp_u8(divide(s));
    }
}

template <typename Divide>
std::vector<int> smoothBlocks(const std::vector<int>& field, int width, int height, Divide divide) {
    std::vector<int> out(static_cast<std::size_t>(width) * height, 0);
    if (width < 5 || height < 5) return out;

    const int blocksPerRow = (width + kBlock - 1) / kBlock;
    const std::vector<std::uint8_t> flags = nonZeroBlocks(field, width, height, blocksPerRow);
    std::vector<std::uint8_t> near(blocksPerRow);
    std::vector<std::uint8_t> need(blocksPerRow);
    std::vector<int> a(width);
    std::vector<int> e(width);

    for (int y = 2; y <= height - 3; ++y) {
        for (int j = 0; j < blocksPerRow; ++j) {
            std::uint8_t any = 0;
            for (int dy = -2; dy <= 2; ++dy) {
                any |= flags[static_cast<std::size_t>(y + dy) * blocksPerRow + j];
            }
            near[j] = any;
        }
        for (int j = 0; j < blocksPerRow; ++j) {
            need[j] =
                near[j] | (j > 0 ? near[j - 1] : 0) | (j + 1 < blocksPerRow ? near[j + 1] : 0);
        }

        const std::size_t rowStart = static_cast<std::size_t>(y) * width;
        int j = 0;
        while (j < blocksPerRow) {
            if (need[j] == 0) {
                ++j;
                continue;
            }
            const int first = j;
            while (j < blocksPerRow && need[j] != 0)
                ++j;
            const int x0 = std::max(2, first * kBlock);
            const int x1 = std::min(width - 3, j * kBlock - 1);
            if (x0 <= x1) {
                smoothSpan(field.data() + rowStart, width, x0, x1, a.data(), e.data(),
                           out.data() + rowStart, divide);
            }
        }
    }
    return out;
}

}  // namespace

std::vector<int> NoiseField::generate(int width, int height, int pointCount, int scale,
                                      int spreadPasses, int softenPasses, PortableRand& random) {
    width_ = width;
    height_ = height;
    cellCount_ = width * height;
    twoRows_ = 2 * width;

    std::vector<int> field(cellCount_, 0);
    for (int p = 0; p < pointCount; ++p) {
        const int r = random.rand();
        const int i = trunc_to_int(static_cast<double>(r) * static_cast<double>(kPointStep) *
                                   static_cast<double>(cellCount_));
        // An empty field still takes its draws, so later users of `random` see the same numbers.
        if (cellCount_ > 0) field[i] = 255;
    }
    for (int pass = 0; pass < spreadPasses; ++pass)
        field = smoothFast(field, kSpreadDivisor);
    for (int pass = 0; pass < softenPasses; ++pass)
        field = smoothFast(field, kMeanDivisor);
    for (int& value : field)
        value = scaleValue(value, scale);
    return field;
}

std::vector<int> NoiseField::smooth(const std::vector<int>& field, int divisor) const {
    std::vector<int> out(cellCount_, 0);
    for (int rowStart = twoRows_; rowStart < cellCount_ - twoRows_; rowStart += width_) {
        for (int x = 2; x <= width_ - 3; ++x) {
            const int i = rowStart + x;
            int s = 0;
            for (int dy = -2; dy <= 2; ++dy) {
                for (int dx = -2; dx <= 2; ++dx) {
                    s += kWeights[dy + 2][dx + 2] * field[i + dy * width_ + dx];
                }
            }
            out[i] = clamp_u8(div_trunc(s, divisor));
        }
    }
    return out;
}

std::vector<int> NoiseField::smoothMean(const std::vector<int>& field) const {
    return smooth(field, kMeanDivisor);
}

std::vector<int> NoiseField::smoothFast(const std::vector<int>& field, int divisor) const {
    if (divisor == kSpreadDivisor) {
        return smoothBlocks(field, width_, height_,
                            [](int s) { return div_trunc(s, kSpreadDivisor); });
    }
    if (divisor == kMeanDivisor) {
        return smoothBlocks(field, width_, height_,
                            [](int s) { return div_trunc(s, kMeanDivisor); });
    }
    return smoothBlocks(field, width_, height_, [divisor](int s) { return div_trunc(s, divisor); });
}

int NoiseField::scaleValue(int value, int scale) {
    return trunc_to_int(static_cast<double>(value) * static_cast<double>(kScaleStep) *
                        static_cast<double>(static_cast<float>(scale)));
}

}  // namespace tavlomi
