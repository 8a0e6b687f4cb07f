#include "effects/noise_field.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/int_math.hpp"

namespace tavlomi {

namespace {

constexpr int kWeights[5][5] = {
    {0, 1, 2, 1, 0}, {1, 4, 8, 4, 1}, {2, 8, 16, 8, 2}, {1, 4, 8, 4, 1}, {0, 1, 2, 1, 0},
};

// Divisors of generate's passes; the fast pass gets them as constants.
constexpr int kSpreadDivisor = 40;
constexpr int kMeanDivisor = 80;

// Width of the column blocks whose all-zero state the fast pass tracks.
constexpr int kBlock = 32;

// The generator's factors as 32-bit floats: 1/32768 is exact, 1/255 rounds slightly upward,
// which lets exact multiples of 255/scale reach their full value.
constexpr float kPointStep = 1.0f / 32768.0f;
constexpr float kScaleStep = 1.0f / 255.0f;

// The 5x5 kernel is 4 (a x a) plus the four lines of its border, a = [1 2 1]. With
// A[c] = rows y-1, y, y+1 of column c weighted 1 2 1 and E[c] = rows y-2 and y+2 added,
// s(x) = 4 (A[x-1] + 2 A[x] + A[x+1]) + (E[x-1] + 2 E[x] + E[x+1]) + A[x-2] + A[x+2].
// Computes cells x0..x1 of the row starting at `center`; needs 2 <= x0 and x1 <= width - 3.
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

// Smoothing passes that only visit cells with a non-zero cell within their 5x5 reach. Each
// field travels with one flag per row and block of kBlock columns; a 0 flag guarantees that
// those cells are all 0, a 1 flag says they may not be.
class SparseSmoother {
  public:
    SparseSmoother(int width, int height)
        : width_(width),
          height_(height),
          blocksPerRow_((width + kBlock - 1) / kBlock),
          a_(width),
          e_(width),
          near_(blocksPerRow_) {}

    std::vector<std::uint8_t> emptyFlags() const {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(height_) * blocksPerRow_, 0);
    }

    std::vector<std::uint8_t> flagsOf(const std::vector<int>& field) const {
        std::vector<std::uint8_t> flags = emptyFlags();
        for (int y = 0; y < height_; ++y) {
            for (int j = 0; j < blocksPerRow_; ++j) {
                flags[flagIndex(y, j)] = anyNonZero(field, y, j * kBlock, (j + 1) * kBlock - 1);
            }
        }
        return flags;
    }

    // Writes smooth(in, divisor) into `out`. On entry `outFlags` must describe `out`, which may
    // hold an older field; on return it describes the new one.
    void pass(const std::vector<int>& in, const std::vector<std::uint8_t>& inFlags, int divisor,
              std::vector<int>& out, std::vector<std::uint8_t>& outFlags) {
        if (divisor == kSpreadDivisor) {
            run(in, inFlags, out, outFlags, [](int s) { return div_trunc(s, kSpreadDivisor); });
        } else if (divisor == kMeanDivisor) {
            run(in, inFlags, out, outFlags, [](int s) { return div_trunc(s, kMeanDivisor); });
        } else {
            run(in, inFlags, out, outFlags, [divisor](int s) { return div_trunc(s, divisor); });
        }
    }

  private:
    std::size_t flagIndex(int y, int block) const {
        return static_cast<std::size_t>(y) * blocksPerRow_ + block;
    }

    // 1 when any cell of row y in columns first..last (clipped to the row) is not 0.
    std::uint8_t anyNonZero(const std::vector<int>& field, int y, int first, int last) const {
        const int* row = field.data() + static_cast<std::size_t>(y) * width_;
        int any = 0;
        for (int x = first; x <= std::min(last, width_ - 1); ++x)
            any |= row[x];
        return any != 0 ? 1 : 0;
    }

    template <typename Divide>
    void run(const std::vector<int>& in, const std::vector<std::uint8_t>& inFlags,
             std::vector<int>& out, std::vector<std::uint8_t>& outFlags, Divide divide) {
        for (int y = 0; y < height_; ++y) {
            for (int j = 0; j < blocksPerRow_; ++j) {
                std::uint8_t& flag = outFlags[flagIndex(y, j)];
                if (flag == 0) continue;
                const auto rowStart = out.begin() + static_cast<std::ptrdiff_t>(y) * width_;
                std::fill(rowStart + j * kBlock, rowStart + std::min(width_, (j + 1) * kBlock), 0);
                flag = 0;
            }
        }
        if (width_ < 5 || height_ < 5) return;

        for (int y = 2; y <= height_ - 3; ++y) {
            for (int j = 0; j < blocksPerRow_; ++j) {
                std::uint8_t any = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    any |= inFlags[flagIndex(y + dy, j)];
                near_[j] = any;
            }
            const std::size_t rowStart = static_cast<std::size_t>(y) * width_;
            int j = 0;
            while (j < blocksPerRow_) {
                if (near_[j] == 0) {
                    ++j;
                    continue;
                }
                const int first = j;
                while (j < blocksPerRow_ && near_[j] != 0)
                    ++j;
                // The kernel reaches two columns beyond the run of non-zero blocks.
                const int x0 = std::max(2, first * kBlock - 2);
                const int x1 = std::min(width_ - 3, j * kBlock + 1);
                if (x0 > x1) continue;
                smoothSpan(in.data() + rowStart, width_, x0, x1, a_.data(), e_.data(),
                           out.data() + rowStart, divide);
                for (int block = x0 / kBlock; block <= x1 / kBlock; ++block) {
                    const int bx0 = std::max(x0, block * kBlock);
                    const int bx1 = std::min(x1, (block + 1) * kBlock - 1);
                    outFlags[flagIndex(y, block)] |= anyNonZero(out, y, bx0, bx1);
                }
            }
        }
    }

    int width_;
    int height_;
    int blocksPerRow_;
    std::vector<int> a_;
    std::vector<int> e_;
    std::vector<std::uint8_t> near_;
};

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
    field = smoothFast(std::move(field), kSpreadDivisor, spreadPasses);
    field = smoothFast(std::move(field), kMeanDivisor, softenPasses);
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

std::vector<int> NoiseField::smoothFast(std::vector<int> field, int divisor, int passes) const {
    if (passes <= 0) return field;
    // Two fields and their block flags; each pass writes into the one read the pass before.
    SparseSmoother smoother(width_, height_);
    std::vector<std::uint8_t> flags = smoother.flagsOf(field);
    std::vector<int> next(cellCount_, 0);
    std::vector<std::uint8_t> nextFlags = smoother.emptyFlags();
    for (int pass = 0; pass < passes; ++pass) {
        smoother.pass(field, flags, divisor, next, nextFlags);
        std::swap(field, next);
        std::swap(flags, nextFlags);
    }
    return field;
}

int NoiseField::scaleValue(int value, int scale) {
    return trunc_to_int(static_cast<double>(value) * static_cast<double>(kScaleStep) *
                        static_cast<double>(static_cast<float>(scale)));
}

}  // namespace tavlomi
