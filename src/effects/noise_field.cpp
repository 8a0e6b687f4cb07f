#include "effects/noise_field.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

#include "common/grid_storage.hpp"
#include "common/int_math.hpp"

#if TAVLOMI_X86_KERNELS
#include <immintrin.h>
#endif

namespace tavlomi {

namespace {

constexpr int kWeights[5][5] = {
    {0, 1, 2, 1, 0}, {1, 4, 8, 4, 1}, {2, 8, 16, 8, 2}, {1, 4, 8, 4, 1}, {0, 1, 2, 1, 0},
};

// Runs of cells to smooth that lie fewer cells apart than this are smoothed as one: the cells
// between come out 0 either way, and one run costs less than two.
constexpr int kJoinGap = 32;

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

    explicit PaddedField(std::size_t cellCount)
        : bytes_(makeGrid<std::uint8_t>(kFront + cellCount + kBack)) {}

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

// The cells of a field's rows go in groups of kGroup, each with one bit that says whether the
// group may hold a value other than 0: bit g % 64 of word g / 64 of the row's bits. A 0 bit
// guarantees that the group's cells are all 0.
constexpr int kGroup = 4;
constexpr int kGroupsPerWord = 64;

// Sets the bits of the groups that hold cells first..last of a row.
inline void markGroups(std::uint64_t* rowBits, int first, int last) {
    const int g0 = first / kGroup;
    const int g1 = last / kGroup;
    const std::uint64_t from = ~std::uint64_t{0} << (g0 % kGroupsPerWord);
    const std::uint64_t to = ~std::uint64_t{0} >> (kGroupsPerWord - 1 - g1 % kGroupsPerWord);
    if (g0 / kGroupsPerWord == g1 / kGroupsPerWord) {
        rowBits[g0 / kGroupsPerWord] |= from & to;
        return;
    }
    rowBits[g0 / kGroupsPerWord] |= from;
    for (int w = g0 / kGroupsPerWord + 1; w < g1 / kGroupsPerWord; ++w)
        rowBits[w] = ~std::uint64_t{0};
    rowBits[g1 / kGroupsPerWord] |= to;
}

// Cells x0..x1 of the centre row of `rows` as smoothNoiseFieldReference makes them, from a field
// of bytes; needs 2 <= x0 and x1 <= width - 3. Marks in rowBits the groups of the cells it makes
// other than 0. a and e have room for x1 + 3 entries.
//
// The 5x5 kernel is 4 (a x a) plus the four lines of its border, a = [1 2 1]. With
// A[c] = rows y-1, y, y+1 of column c weighted 1 2 1 and E[c] = rows y-2 and y+2 added,
// s(x) = 4 (A[x-1] + 2 A[x] + A[x+1]) + (E[x-1] + 2 E[x] + E[x+1]) + A[x-2] + A[x+2].
void smoothSpanReference(const FiveRows& rows, int x0, int x1, ByteDivisor divisor, std::int16_t* a,
                         std::int16_t* e, std::uint8_t* out, std::uint64_t* rowBits) {
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
        if (value != 0) markGroups(rowBits, x, x);
    }
}

// The smoothing of one run of cells at one instruction level; a and e are scratch rows.
using SmoothSpan = decltype(&smoothSpanReference);

struct NoiseKernels {
    SmoothSpan smoothSpan;
};
constexpr NoiseKernels kReference{smoothSpanReference};

// Room the kernels' scratch rows need beyond the grid's width.
constexpr int kScratchRoom = 40;

// A run of cells x = first..last of one row.
struct Span {
    int first;
    int last;
};

// Smoothing passes over two padded fields of bytes, each pass writing into the one read the pass
// before, that visit only the groups of cells within the kernel's reach of a group that may hold
// a value other than 0: a few patches that grow from scattered points take a small part of the
// field. The passes run together down the field, each a few rows behind the one before, so that
// the rows they share stay in the cache instead of every pass sweeping the whole field.
class ByteSmoother {
  public:
    // `points`: the cells (row-major indices) set to 255 on an empty width x height field.
    ByteSmoother(int width, int height, SmoothSpan smoothSpan, std::span<const int> points)
        : width_(width),
          height_(height),
          wordsPerRow_((width + kGroup * kGroupsPerWord - 1) / (kGroup * kGroupsPerWord)),
          groups_(wordsPerRow_ * kGroupsPerWord),
          smoothSpan_(smoothSpan),
          fields_{PaddedField(static_cast<std::size_t>(width) * height),
                  PaddedField(static_cast<std::size_t>(width) * height)},
          bits_{std::vector<std::uint64_t>(static_cast<std::size_t>(height) * wordsPerRow_, 0),
                std::vector<std::uint64_t>(static_cast<std::size_t>(height) * wordsPerRow_, 0)},
          near_(static_cast<std::size_t>(wordsPerRow_), 0),
          a_(static_cast<std::size_t>(width) + kScratchRoom),
          e_(static_cast<std::size_t>(width) + kScratchRoom) {
        for (const int i : points) {
            fields_[0].cells()[i] = 255;
            markGroups(rowBits(bits_[0], i / width), i % width, i % width);
        }
    }

    // The field after run().
    const std::uint8_t* cells() const { return fields_[last_].cells(); }

    // Calls visit(y, first, last) for runs of cells first..last of row y that hold every cell of
    // the field other than 0.
    template <typename Visit>
    void forEachRun(Visit visit) const {
        visitGroups(bits_[last_], visit);
    }

    // spreadPasses passes with the divisor 40, then softenPasses with 80. Pass p (1, 2, ...)
    // reads field (p - 1) % 2 and writes field p % 2. It may write rows of band b once pass
    // p - 1 has made bands up to b + 1: those hold every row its kernel reads, and then pass
    // p - 1 no longer needs what pass p - 2 left in the rows it overwrites. So in step t, pass
    // p makes band t - 2 (p - 1), after pass p - 1 has made band t - 2 (p - 2) in the same step.
    void run(int spreadPasses, int softenPasses) {
        const int passes = spreadPasses + softenPasses;
        const int bands = (height_ + kBand - 1) / kBand;
        for (int step = 0; step < bands + 2 * (passes - 1); ++step) {
            for (int pass = 1; pass <= passes; ++pass) {
                const int band = step - 2 * (pass - 1);
                if (band < 0 || band >= bands) continue;
                makeBand(pass, band, pass <= spreadPasses ? kSpreadDivisor : kMeanDivisor);
            }
        }
        last_ = passes % 2;
    }

  private:
    // Rows a pass makes at a time; the kernel reaches two rows up and down.
    static constexpr int kBand = 2;

    std::uint64_t* rowBits(std::vector<std::uint64_t>& bits, int y) const {
        return bits.data() + static_cast<std::size_t>(y) * wordsPerRow_;
    }
    const std::uint64_t* rowBits(const std::vector<std::uint64_t>& bits, int y) const {
        return bits.data() + static_cast<std::size_t>(y) * wordsPerRow_;
    }

    std::uint8_t* rowOf(PaddedField& field, int y) const {
        return field.cells() + static_cast<std::size_t>(y) * width_;
    }

    // Calls visit(first, last) for every run of cells first..last of a row whose groups' bits
    // are set, last at most width - 1.
    template <typename Visit>
    void visitRow(const std::uint64_t* row, Visit visit) const {
        for (int g = nextGroup(row, 0, true); g < groups_; g = nextGroup(row, g, true)) {
            const int start = g;
            g = nextGroup(row, g, false);
            visit(start * kGroup, std::min(g * kGroup, width_) - 1);
        }
    }

    template <typename Visit>
    void visitGroups(const std::vector<std::uint64_t>& bits, Visit visit) const {
        for (int y = 0; y < height_; ++y)
            visitRow(rowBits(bits, y), [&](int first, int last) { visit(y, first, last); });
    }

    // The first group from g on whose bit in row is `value`; groups_ when there is none.
    int nextGroup(const std::uint64_t* row, int g, bool value) const {
        while (g < groups_) {
            const std::uint64_t word = value ? row[g / kGroupsPerWord] : ~row[g / kGroupsPerWord];
            const std::uint64_t rest = word >> (g % kGroupsPerWord);
            if (rest != 0) return g + std::countr_zero(rest);
            g = (g / kGroupsPerWord + 1) * kGroupsPerWord;
        }
        return groups_;
    }

    // The rows of band as pass makes them, with their bits.
    void makeBand(int pass, int band, ByteDivisor divisor) {
        const std::vector<std::uint64_t>& sourceBits = bits_[(pass - 1) % 2];
        PaddedField& source = fields_[(pass - 1) % 2];
        std::vector<std::uint64_t>& bits = bits_[pass % 2];
        PaddedField& field = fields_[pass % 2];
        for (int y = band * kBand; y < std::min(height_, (band + 1) * kBand); ++y) {
            // The row still holds pass - 2's, 0 outside the groups its bits mark.
            std::uint64_t* rowBitsOut = rowBits(bits, y);
            std::uint8_t* out = rowOf(field, y);
            visitRow(rowBitsOut, [&](int first, int last) {
                std::memset(out + first, 0, static_cast<std::size_t>(last - first + 1));
            });
            std::fill_n(rowBitsOut, wordsPerRow_, 0);
            if (y < 2 || y > height_ - 3) continue;
            reach(sourceBits, y);
            const FiveRows rows = rowsAround(rowOf(source, y), width_);
            for (const Span& span : reach_) {
                smoothSpan_(rows, span.first, span.last, divisor, a_.data(), e_.data(), out,
                            rowBitsOut);
            }
        }
    }

    // reach_: the runs of cells of row y, inside the columns 2..width-3 that a pass computes, in
    // the groups next to or in a group of rows y-2..y+2 that may hold a value other than 0;
    // runs fewer than kJoinGap cells apart joined.
    void reach(const std::vector<std::uint64_t>& bits, int y) {
        reach_.clear();
        std::uint64_t any = 0;
        for (int w = 0; w < wordsPerRow_; ++w) {
            std::uint64_t word = 0;
            for (int dy = -2; dy <= 2; ++dy)
                word |= rowBits(bits, y + dy)[w];
            near_[w] = word;
            any |= word;
        }
        if (any == 0) return;
        // Runs of set bits of near_; the kernel reaches two cells beyond them.
        for (int g = nextGroup(near_.data(), 0, true); g < groups_;
             g = nextGroup(near_.data(), g, true)) {
            const int start = g;
            g = nextGroup(near_.data(), g, false);
            const int end = g - 1;
            const Span span{std::max(2, start * kGroup - 2),
                            std::min(width_ - 3, (end + 1) * kGroup + 1)};
            if (span.first > span.last) continue;
            if (!reach_.empty() && span.first <= reach_.back().last + kJoinGap) {
                reach_.back().last = std::max(reach_.back().last, span.last);
            } else {
                reach_.push_back(span);
            }
        }
    }

    int width_;
    int height_;
    int wordsPerRow_;
    int groups_;
    SmoothSpan smoothSpan_;
    std::array<PaddedField, 2> fields_;
    std::array<std::vector<std::uint64_t>, 2> bits_;
    // Which of the two holds the field after run().
    int last_ = 0;
    std::vector<std::uint64_t> near_;
    std::vector<Span> reach_;
    std::vector<std::int16_t> a_;
    std::vector<std::int16_t> e_;
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
                                                    std::uint64_t* rowBits) {
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
        const auto zero =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
        const unsigned nonZero = ~zero & ((1u << count) - 1);
        if (nonZero != 0)
            markGroups(rowBits, x + std::countr_zero(nonZero), x + 31 - std::countl_zero(nonZero));
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
    std::vector<int> points;
    for (int p = 0; p < pointCount; ++p) {
        const int r = random.rand();
        // An empty field still takes its draws, so later users of `random` see the same numbers.
        if (cellCount > 0) {
            points.push_back(trunc_to_int(static_cast<double>(r) * static_cast<double>(kPointStep) *
                                          static_cast<double>(cellCount)));
        }
    }
    // The scaled value of every byte, entry by entry, so that no bound can run past the table.
    std::array<std::uint8_t, 256> scaled;
    int next = 0;
    for (std::uint8_t& entry : scaled)
        entry = static_cast<std::uint8_t>(scaleValue(next++, scale));
    // Every value the passes make lies in 0..255, so bytes hold the field exactly; 0 scales to 0,
    // so only the cells that the passes leave other than 0 need writing.
    std::vector<std::uint8_t> field = makeGrid<std::uint8_t>(static_cast<std::size_t>(cellCount));
    if (spreadPasses == 0 && softenPasses == 0) {
        for (const int i : points)
            field[i] = scaled[255];
        return field;
    }
    ByteSmoother smoother(width, height, noiseKernels(level).smoothSpan, points);
    smoother.run(spreadPasses, softenPasses);
    smoother.forEachRun([&](int y, int first, int last) {
        const std::size_t row = static_cast<std::size_t>(y) * width;
        for (int x = first; x <= last; ++x)
            field[row + x] = scaled[smoother.cells()[row + x]];
    });
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
