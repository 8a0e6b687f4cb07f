#include "effects/noise_field.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

#include "common/int_math.hpp"

#if TAVLOMI_X86_KERNELS
#include <immintrin.h>
#endif

namespace tavlomi {

namespace {

constexpr int kWeights[5][5] = {
    {0, 1, 2, 1, 0}, {1, 4, 8, 4, 1}, {2, 8, 16, 8, 2}, {1, 4, 8, 4, 1}, {0, 1, 2, 1, 0},
};

// Width of the column blocks whose all-zero state the passes track.
constexpr int kBlock = 32;

// The generator's factors as 32-bit floats: 1/32768 is exact, 1/255 rounds slightly upward,
// which lets exact multiples of 255/scale reach their full value.
constexpr float kPointStep = 1.0f / 32768.0f;
constexpr float kScaleStep = 1.0f / 255.0f;

// The largest weighted sum over a field of bytes, 80 * 255: every sum fits a 16-bit lane.
constexpr int kMaxByteSum = 80 * 255;

// s / divisor for 0 <= s <= kMaxByteSum as the high half of the 16 x 16-bit product
// s * multiplier, shifted right by shift. With multiplier = ceil(2^(16 + shift) / divisor) and
// excess = multiplier * divisor - 2^(16 + shift), the product over 2^(16 + shift) exceeds
// s / divisor by s * excess / (divisor * 2^(16 + shift)); while excess * kMaxByteSum stays below
// 2^(16 + shift) that is less than 1 / divisor, too little to carry s / divisor, whose fraction
// is at most (divisor - 1) / divisor, past the next integer.
struct ByteDivisor {
    int divisor = 0;
    int multiplier = 0;
    int shift = 0;
};

constexpr ByteDivisor byteDivisor(int divisor) {
    for (int shift = 0; shift < 16; ++shift) {
        const std::int64_t power = std::int64_t{1} << (16 + shift);
        const std::int64_t multiplier = (power + divisor - 1) / divisor;
        if (multiplier > 0xFFFF) break;
        if ((multiplier * divisor - power) * kMaxByteSum < power) {
            return {divisor, static_cast<int>(multiplier), shift};
        }
    }
    return {divisor, 0, 0};
}

// The argument above, checked for every sum the passes can meet.
constexpr bool dividesEverySum(ByteDivisor d) {
    for (std::int64_t s = 0; s <= kMaxByteSum; ++s) {
        if ((s * d.multiplier >> 16 >> d.shift) != s / d.divisor) return false;
    }
    return true;
}

// The passes that double the local mean and those that take the plain mean.
constexpr ByteDivisor kSpreadDivisor = byteDivisor(40);
constexpr ByteDivisor kMeanDivisor = byteDivisor(80);
static_assert(dividesEverySum(kSpreadDivisor) && dividesEverySum(kMeanDivisor));

// A field of bytes with zero bytes before its first and after its last cell, so that whole
// vectors and blocks can be read across the ends of any row.
class PaddedField {
  public:
    static constexpr std::size_t kFront = 32;
    static constexpr std::size_t kBack = 64;

    explicit PaddedField(std::size_t cellCount) : bytes_(kFront + cellCount + kBack, 0) {}

    std::uint8_t* cells() { return bytes_.data() + kFront; }
    const std::uint8_t* cells() const { return bytes_.data() + kFront; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// The five rows around a centre row, 0 being two rows above it.
struct FiveRows {
    const std::uint8_t* row[5];
};

FiveRows rowsAround(const std::uint8_t* center, int width) {
    return {{center - 2 * width, center - width, center, center + width, center + 2 * width}};
}

// Cells x0..x1 of the centre row of `rows` as smoothNoiseFieldReference makes them, from a field
// of bytes; needs 2 <= x0 and x1 <= width - 3. Sets flags[x / kBlock] to 1 for each cell x it
// makes other than 0. a and e have room for x1 + 3 entries.
//
// The 5x5 kernel is 4 (a x a) plus the four lines of its border, a = [1 2 1]. With
// A[c] = rows y-1, y, y+1 of column c weighted 1 2 1 and E[c] = rows y-2 and y+2 added,
// s(x) = 4 (A[x-1] + 2 A[x] + A[x+1]) + (E[x-1] + 2 E[x] + E[x+1]) + A[x-2] + A[x+2].
void smoothSpanReference(const FiveRows& rows, int x0, int x1, ByteDivisor divisor, std::int16_t* a,
                         std::int16_t* e, std::uint8_t* out, std::uint8_t* flags) {
    const auto& r = rows.row;
    for (int c = x0 - 2; c <= x1 + 2; ++c) {
        a[c] = static_cast<std::int16_t>(r[1][c] + 2 * r[2][c] + r[3][c]);
        e[c] = static_cast<std::int16_t>(r[0][c] + r[4][c]);
    }
    for (int x = x0; x <= x1; ++x) {
        const int s = 4 * (a[x - 1] + 2 * a[x] + a[x + 1]) + (e[x - 1] + 2 * e[x] + e[x + 1]) +
                      a[x - 2] + a[x + 2];
        const int value = clamp_u8(div_trunc(s, divisor.divisor));
        out[x] = static_cast<std::uint8_t>(value);
        if (value != 0) flags[x / kBlock] = 1;
    }
}

// The smoothing of one run of cells at one instruction level; a and e are scratch rows.
using SmoothSpan = decltype(&smoothSpanReference);

struct NoiseKernels {
    SmoothSpan smoothSpan;
};
constexpr NoiseKernels kReference{smoothSpanReference};

// 1 when any of the kBlock bytes from `cells` is not 0.
std::uint8_t blockNonZero(const std::uint8_t* cells) {
    static_assert(kBlock == 32);
    std::uint64_t w0, w1, w2, w3;
    std::memcpy(&w0, cells, 8);
    std::memcpy(&w1, cells + 8, 8);
    std::memcpy(&w2, cells + 16, 8);
    std::memcpy(&w3, cells + 24, 8);
    return (w0 | w1 | w2 | w3) != 0 ? 1 : 0;
}

// Smoothing passes over two padded fields of bytes, each pass writing into the one read the pass
// before, that only visit cells with a value other than 0 within their 5x5 reach. Each field
// travels with one flag per row and block of kBlock columns; a 0 flag guarantees that those
// cells are all 0, a 1 flag says they may not be. Flags are kept per row in a stride that is a
// whole number of 8-byte words, so that whole words of them can be tested and combined.
class ByteSmoother {
  public:
    // `cells`: width x height values 0..255.
    ByteSmoother(int width, int height, SmoothSpan smoothSpan, std::span<const std::uint8_t> cells)
        : width_(width),
          height_(height),
          cellCount_(static_cast<std::size_t>(width) * height),
          blocksPerRow_((width + kBlock - 1) / kBlock),
          flagStride_((blocksPerRow_ + 7) / 8 * 8),
          smoothSpan_(smoothSpan),
          field_(cellCount_),
          next_(cellCount_),
          flags_(static_cast<std::size_t>(height) * flagStride_, 0),
          nextFlags_(flags_.size(), 0),
          a_(static_cast<std::size_t>(width) + 3),
          e_(static_cast<std::size_t>(width) + 3),
          near_(flagStride_) {
        std::copy_n(cells.begin(), cellCount_, field_.cells());
        // Whole blocks, past a row's end into the next row or the padding.
        for (int y = 0; y < height_; ++y) {
            for (int j = 0; j < blocksPerRow_; ++j)
                flags_[flagIndex(y, j)] = blockNonZero(cellAt(field_.cells(), y, j * kBlock));
        }
    }

    std::span<const std::uint8_t> cells() const { return {field_.cells(), cellCount_}; }

    void run(ByteDivisor divisor, int passes) {
        for (int pass = 0; pass < passes; ++pass) {
            smoothPass(divisor);
            std::swap(field_, next_);
            std::swap(flags_, nextFlags_);
        }
    }

  private:
    std::size_t flagIndex(int y, int block) const {
        return static_cast<std::size_t>(y) * flagStride_ + block;
    }

    template <typename Byte>
    Byte* cellAt(Byte* cells, int y, int x) const {
        return cells + static_cast<std::size_t>(y) * width_ + x;
    }

    // Writes smooth(field_, divisor) into next_ and describes it in nextFlags_.
    void smoothPass(ByteDivisor divisor) {
        clearNext();
        if (width_ < 5 || height_ < 5) return;
        for (int y = 2; y <= height_ - 3; ++y) {
            if (!nearRows(y)) continue;
            const FiveRows rows = rowsAround(cellAt(field_.cells(), y, 0), width_);
            std::uint8_t* out = cellAt(next_.cells(), y, 0);
            std::uint8_t* rowFlags = &nextFlags_[flagIndex(y, 0)];
            int j = 0;
            while (j < blocksPerRow_) {
                if (near_[j] == 0) {
                    // Eight blocks without a value at once where they line up.
                    std::uint64_t word = 0;
                    if (j % 8 == 0) std::memcpy(&word, &near_[j], sizeof word);
                    j += j % 8 == 0 && word == 0 ? 8 : 1;
                    continue;
                }
                const int first = j;
                while (j < blocksPerRow_ && near_[j] != 0)
                    ++j;
                // The kernel reaches two columns beyond the run of non-zero blocks.
                const int x0 = std::max(2, first * kBlock - 2);
                const int x1 = std::min(width_ - 3, j * kBlock + 1);
                if (x0 > x1) continue;
                smoothSpan_(rows, x0, x1, divisor, a_.data(), e_.data(), out, rowFlags);
            }
        }
    }

    // Sets every block of next_ that its flags do not vouch for to 0, and all its flags to 0. A
    // row's last block may run into the next row or the padding: the pass rewrites or leaves at
    // 0 every cell anyway.
    void clearNext() {
        for (int y = 0; y < height_; ++y) {
            for (int j = 0; j < blocksPerRow_; j += 8) {
                std::uint64_t word;
                std::memcpy(&word, &nextFlags_[flagIndex(y, j)], sizeof word);
                while (word != 0) {
                    // Flags are 0 or 1, one a byte, the lowest byte first.
                    const int block = j + std::countr_zero(word) / 8;
                    word &= word - 1;
                    std::memset(cellAt(next_.cells(), y, block * kBlock), 0, kBlock);
                }
            }
        }
        std::fill(nextFlags_.begin(), nextFlags_.end(), 0);
    }

    // near_[j]: whether block j of rows y-2..y+2 of field_ may hold a value other than 0. False
    // when none does.
    bool nearRows(int y) {
        std::uint64_t anyWord = 0;
        for (int j = 0; j < flagStride_; j += 8) {
            std::uint64_t word = 0;
            for (int dy = -2; dy <= 2; ++dy) {
                std::uint64_t row;
                std::memcpy(&row, &flags_[flagIndex(y + dy, j)], sizeof row);
                word |= row;
            }
            std::memcpy(&near_[j], &word, sizeof word);
            anyWord |= word;
        }
        return anyWord != 0;
    }

    int width_;
    int height_;
    std::size_t cellCount_;
    int blocksPerRow_;
    int flagStride_;
    SmoothSpan smoothSpan_;
    PaddedField field_;
    PaddedField next_;
    std::vector<std::uint8_t> flags_;
    std::vector<std::uint8_t> nextFlags_;
    std::vector<std::int16_t> a_;
    std::vector<std::int16_t> e_;
    std::vector<std::uint8_t> near_;
};

#if TAVLOMI_X86_KERNELS

__attribute__((target("avx2"), always_inline)) inline __m256i loadWidened(
    const std::uint8_t* bytes) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
}

// The kernel splits into columns: with A = rows y-1, y, y+1 weighted 1 2 1 and B = rows y-2 and
// y+2 plus 4 A, s(x) = A[x-2] + B[x-1] + 2 B[x] + B[x+1] + A[x+2].
struct Columns {
    __m256i a;
    __m256i b;
};

__attribute__((target("avx2"), always_inline)) inline Columns columnsAt(const FiveRows& rows,
                                                                        int c) {
    const auto& r = rows.row;
    const __m256i a =
        _mm256_add_epi16(_mm256_add_epi16(loadWidened(r[1] + c), loadWidened(r[3] + c)),
                         _mm256_slli_epi16(loadWidened(r[2] + c), 1));
    const __m256i b = _mm256_add_epi16(
        _mm256_add_epi16(loadWidened(r[0] + c), loadWidened(r[4] + c)), _mm256_slli_epi16(a, 2));
    return {a, b};
}

// Of the 16-lane vectors `before` and `current` (cells x - 16.. and x..), the lanes of cells
// x - k .. x + 15 - k.
template <int k>
__attribute__((target("avx2"), always_inline)) inline __m256i shiftedIn(__m256i before,
                                                                        __m256i current) {
    const __m256i middle = _mm256_permute2x128_si256(before, current, 0x21);
    return _mm256_alignr_epi8(current, middle, 16 - 2 * k);
}

// Of the vectors `current` and `after` (cells x.. and x + 16..), the lanes of cells
// x + k .. x + 15 + k.
template <int k>
__attribute__((target("avx2"), always_inline)) inline __m256i shiftedOut(__m256i current,
                                                                         __m256i after) {
    const __m256i middle = _mm256_permute2x128_si256(current, after, 0x21);
    return _mm256_alignr_epi8(middle, current, 2 * k);
}

// smoothSpanReference, 16 cells at a time, with the columns of the 16 cells before, at and after
// the current ones in registers. Reads up to 16 cells before x0 and 33 after x1: the field's
// padding covers both ends of the grid.
__attribute__((target("avx2"))) void smoothSpanAvx2(const FiveRows& rows, int x0, int x1,
                                                    ByteDivisor divisor, std::int16_t*,
                                                    std::int16_t*, std::uint8_t* out,
                                                    std::uint8_t* flags) {
    const __m256i multiplier = _mm256_set1_epi16(static_cast<std::int16_t>(divisor.multiplier));
    const __m128i shift = _mm_cvtsi32_si128(divisor.shift);
    const __m256i maxValue = _mm256_set1_epi16(255);
    Columns before = columnsAt(rows, x0 - 16);
    Columns current = columnsAt(rows, x0);
    for (int x = x0; x <= x1; x += 16) {
        const Columns after = columnsAt(rows, x + 16);
        const __m256i sum =
            _mm256_add_epi16(_mm256_add_epi16(_mm256_add_epi16(shiftedIn<2>(before.a, current.a),
                                                               shiftedOut<2>(current.a, after.a)),
                                              _mm256_add_epi16(shiftedIn<1>(before.b, current.b),
                                                               shiftedOut<1>(current.b, after.b))),
                             _mm256_slli_epi16(current.b, 1));
        before = current;
        current = after;
        const __m256i quotient = _mm256_min_epu16(
            _mm256_srl_epi16(_mm256_mulhi_epu16(sum, multiplier), shift), maxValue);
        const __m256i packed =
            _mm256_permute4x64_epi64(_mm256_packus_epi16(quotient, quotient), 0x08);
        const __m128i bytes = _mm256_castsi256_si128(packed);
        const int count = std::min(16, x1 + 1 - x);
        if (count == 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), bytes);
        } else {
            alignas(16) std::uint8_t last[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(last), bytes);
            std::memcpy(out + x, last, static_cast<std::size_t>(count));
        }
        // The 16 cells reach into at most two blocks: flag those of the first and the last cell
        // that is not 0.
        const auto zero =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
        const unsigned made = ~zero & ((1u << count) - 1);
        if (made != 0) {
            flags[(x + std::countr_zero(made)) / kBlock] = 1;
            flags[(x + 31 - std::countl_zero(made)) / kBlock] = 1;
        }
    }
}

constexpr NoiseKernels kAvx2{smoothSpanAvx2};

const NoiseKernels& noiseKernels(SimdLevel level) {
    return level == SimdLevel::Avx2 ? kAvx2 : kReference;
}

#else

const NoiseKernels& noiseKernels(SimdLevel) {
    return kReference;
}

#endif

int scaleValue(int value, int scale) {
    return trunc_to_int(static_cast<double>(value) * static_cast<double>(kScaleStep) *
                        static_cast<double>(static_cast<float>(scale)));
}

}  // namespace

std::vector<std::uint8_t> generateNoiseField(int width, int height, int pointCount, int scale,
                                             int spreadPasses, int softenPasses,
                                             PortableRand& random, SimdLevel level) {
    const int cellCount = width * height;
    // Every value the passes make lies in 0..255, so bytes hold the field exactly.
    std::vector<std::uint8_t> field(cellCount, 0);
    for (int p = 0; p < pointCount; ++p) {
        const int r = random.rand();
        const int i = trunc_to_int(static_cast<double>(r) * static_cast<double>(kPointStep) *
                                   static_cast<double>(cellCount));
        // An empty field still takes its draws, so later users of `random` see the same numbers.
        if (cellCount > 0) field[i] = 255;
    }
    if (spreadPasses > 0 || softenPasses > 0) {
        ByteSmoother smoother(width, height, noiseKernels(level).smoothSpan, field);
        smoother.run(kSpreadDivisor, spreadPasses);
        smoother.run(kMeanDivisor, softenPasses);
        std::copy_n(smoother.cells().begin(), cellCount, field.begin());
    }
    // The scaled value of every byte, entry by entry, so that no bound can run past the table.
    std::array<std::uint8_t, 256> scaled;
    int next = 0;
    for (std::uint8_t& entry : scaled)
        entry = static_cast<std::uint8_t>(scaleValue(next++, scale));
    for (std::uint8_t& value : field)
        value = scaled[value];
    return field;
}

std::vector<int> smoothNoiseFieldReference(const std::vector<int>& field, int width, int height,
                                           int divisor) {
    std::vector<int> out(field.size(), 0);
    for (int y = 2; y <= height - 3; ++y) {
        for (int x = 2; x <= width - 3; ++x) {
            int s = 0;
            for (int dy = -2; dy <= 2; ++dy) {
                for (int dx = -2; dx <= 2; ++dx)
                    s += kWeights[dy + 2][dx + 2] * field[(y + dy) * width + x + dx];
            }
            out[y * width + x] = clamp_u8(div_trunc(s, divisor));
        }
    }
    return out;
}

}  // namespace tavlomi
