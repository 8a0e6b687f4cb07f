#include "effects/noise_field.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <utility>
#include <vector>

#include "support/kernel_sweep.hpp"

namespace tavlomi {
namespace {

template <typename Field>
int count(const Field& field, int value) {
    return static_cast<int>(std::count(field.begin(), field.end(), value));
}

// One pass over a point of 255, rows top to bottom.
// clang-format off
constexpr int kSpreadOnce[5][5] = {
    {0, 6, 12, 6, 0}, {6, 25, 51, 25, 6}, {12, 51, 102, 51, 12}, {6, 25, 51, 25, 6}, {0, 6, 12, 6, 0}};
constexpr int kMeanOnce[5][5] = {
    {0, 3, 6, 3, 0}, {3, 12, 25, 12, 3}, {6, 25, 51, 25, 6}, {3, 12, 25, 12, 3}, {0, 3, 6, 3, 0}};
// clang-format on

TEST(NoiseField, OnePassOverOnePoint) {
    // The first draw, 16838, puts the one point at cell 16838 * 169 / 32768 = 86 of a 13 x 13
    // field, (8, 6); every cell outside the table around it is 0. Scale 255 leaves the smoothed
    // values as they are.
    for (int divisor : {40, 80}) {
        PortableRand random;
        const std::vector<std::uint8_t> field =
            generateNoiseField(13, 13, 1, 255, divisor == 40, divisor == 80, random);
        for (int y = 0; y < 13; ++y) {
            for (int x = 0; x < 13; ++x) {
                const bool near = std::abs(x - 8) <= 2 && std::abs(y - 6) <= 2;
                const auto& table = divisor == 40 ? kSpreadOnce : kMeanOnce;
                EXPECT_EQ(field[y * 13 + x], near ? table[y - 4][x - 6] : 0)
                    << divisor << " (" << x << ", " << y << ")";
            }
        }
    }
    // A point in the border column 1 vanishes but feeds columns 2 and 3 (its dx 1 and 2).
    std::vector<int> border(11 * 11, 0);
    border[5 * 11 + 1] = 255;
    const std::vector<int> fed = smoothNoiseFieldReference(border, 11, 11, 40);
    EXPECT_EQ(std::vector<int>(fed.begin() + 5 * 11, fed.begin() + 6 * 11),
              (std::vector<int>{0, 0, 51, 12, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(NoiseField, LonePointAfterTheFiresPasses) {
    // The first draw, 16838, puts the one point at cell 16838 * 3721 / 32768 = 1912, (21, 31):
    // at least 20 cells from every edge. Scale 255 leaves the smoothed values as they are.
    const int w = 61;
    const auto generate = [&](int scale, int softenPasses) {
        PortableRand random;
        return generateNoiseField(w, w, 1, scale, 10, softenPasses, random);
    };
    const std::vector<std::uint8_t> spread = generate(255, 0);
    EXPECT_EQ(count(spread, 255), 137);
    EXPECT_EQ(w * w - count(spread, 0), 357);
    EXPECT_EQ(spread[1912], 255);
    const std::vector<std::uint8_t> soft = generate(255, 40);
    EXPECT_EQ(*std::max_element(soft.begin(), soft.end()), 126);
    EXPECT_EQ(w * w - count(soft, 0), 793);
    const std::vector<std::uint8_t> map = generate(6, 40);
    EXPECT_EQ(count(map, 2), 113);
    EXPECT_EQ(count(map, 1), 180);
    EXPECT_EQ(count(map, 0), w * w - 293);
    EXPECT_EQ(map[1912], 2);
}

TEST(NoiseField, ScalingSmallGridsAndDraws) {
    // Width, height, points, scale, spreading and softening passes; every cell of the map and
    // the draws taken. Points without passes keep 255, which exact multiples of 255 / scale
    // scale to their full value; grids of 4 or fewer rows or columns compute no cell.
    const struct {
        int w, h, points, scale, spread, soften, value, draws;
    } cases[] = {
        {7, 5, 5000, 6, 0, 0, 6, 5000},     {7, 5, 5000, 1, 0, 0, 1, 5000},
        {7, 5, 5000, 255, 0, 0, 255, 5000}, {7, 5, 5000, 85, 0, 0, 85, 5000},
        {1, 1, 210, 6, 10, 40, 0, 210},     {4, 4, 210, 6, 10, 40, 0, 210},
        {4, 60, 210, 6, 10, 40, 0, 210},    {60, 4, 210, 6, 10, 40, 0, 210},
        {5, 1, 210, 6, 10, 40, 0, 210},     {0, 5, 210, 6, 10, 40, 0, 210},
        {40, 30, 0, 6, 10, 40, 0, 0},
    };
    for (const auto& c : cases) {
        PortableRand random, draws;
        const std::vector<std::uint8_t> map =
            generateNoiseField(c.w, c.h, c.points, c.scale, c.spread, c.soften, random);
        EXPECT_EQ(map, std::vector<std::uint8_t>(c.w * c.h, c.value)) << c.w << "x" << c.h;
        draws.discard(c.draws);
        EXPECT_EQ(random.rand(), draws.rand()) << c.w << "x" << c.h;
    }
    // A pass of either kind over a full field keeps 255 inside the two-cell border: 6 on the map.
    for (auto [spread, soften] : {std::pair{1, 0}, {0, 1}}) {
        PortableRand random;
        const std::vector<std::uint8_t> full =
            generateNoiseField(9, 9, 5000, 6, spread, soften, random);
        for (int i = 0; i < 81; ++i)
            EXPECT_EQ(full[i], i % 9 < 2 || i / 9 < 2 || i % 9 > 6 || i / 9 > 6 ? 0 : 6) << i;
    }
}

TEST(NoiseField, EveryLevelMakesTheReferenceFieldFromTheSameDraws) {
    struct Input {
        GridSize size;
        PortableRand random;
        int points, spread, soften;
    };
    sweepKernel(
        [](GridSize size, std::mt19937& random) {
            // Sparse points that grow into patches and fade, or dense ones that fill the field.
            Input in{size,
                     {},
                     static_cast<int>(1 + size.cells() / (random() % 3 == 0 ? 2 : 40)),
                     static_cast<int>(random() % 4),
                     static_cast<int>(random() % 4)};
            in.random.discard(random() % 1000);
            return in;
        },
        [](Input in) {
            // The points as the map without passes holds them, then the reference passes.
            const int w = in.size.width, h = in.size.height;
            const std::vector<std::uint8_t> points =
                generateNoiseField(w, h, in.points, 255, 0, 0, in.random);
            std::vector<int> field(points.begin(), points.end());
            for (int pass = 0; pass < in.spread + in.soften; ++pass)
                field = smoothNoiseFieldReference(field, w, h, pass < in.spread ? 40 : 80);
            return std::tuple{std::vector<std::uint8_t>(field.begin(), field.end()),
                              in.random.rand()};
        },
        [](Input in, SimdLevel level) {
            const std::vector<std::uint8_t> field =
                generateNoiseField(in.size.width, in.size.height, in.points, 255, in.spread,
                                   in.soften, in.random, level);
            return std::tuple{field, in.random.rand()};
        });
}

}  // namespace
}  // namespace tavlomi
