#include "effects/noise_field.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "common/portable_rand.hpp"

namespace tavlomi {
namespace {

// A generator whose smoothing works on width x height fields.
NoiseField sized(int width, int height) {
    NoiseField noise;
    PortableRand unused;
    noise.generate(width, height, 0, 6, 0, 0, unused);
    return noise;
}

int count(const std::vector<int>& field, int value) {
    return static_cast<int>(std::count(field.begin(), field.end(), value));
}

int nonZero(const std::vector<int>& field) {
    return static_cast<int>(field.size()) - count(field, 0);
}

// The cell a draw r sets: (r * cellCount) div 32768.
int drawnCell(int r, int cells) {
    return static_cast<int>(static_cast<long long>(r) * cells / 32768);
}

// One pass over a point of 255, rows top to bottom.
// clang-format off
constexpr int kSpreadOnce[5][5] = {
    {0, 6, 12, 6, 0}, {6, 25, 51, 25, 6}, {12, 51, 102, 51, 12}, {6, 25, 51, 25, 6}, {0, 6, 12, 6, 0}};
constexpr int kMeanOnce[5][5] = {
    {0, 3, 6, 3, 0}, {3, 12, 25, 12, 3}, {6, 25, 51, 25, 6}, {3, 12, 25, 12, 3}, {0, 3, 6, 3, 0}};
// clang-format on

TEST(NoiseField, OnePassOverOnePointOrAFullField) {
    const int w = 11;
    const NoiseField noise = sized(w, w);
    // A point in the middle, and one in the border column 1: it vanishes but feeds columns 2
    // and 3. Every cell outside the table and the two-cell border is 0.
    for (int px : {5, 1}) {
        std::vector<int> field(w * w, 0);
        field[5 * w + px] = 255;
        for (int divisor : {40, 80}) {
            const auto& table = divisor == 40 ? kSpreadOnce : kMeanOnce;
            std::vector<std::vector<int>> outs = {noise.smooth(field, divisor),
                                                  noise.smoothFast(field, divisor)};
            if (divisor == 80) outs.push_back(noise.smoothMean(field));
            for (const std::vector<int>& out : outs) {
                for (int y = 0; y < w; ++y) {
                    for (int x = 0; x < w; ++x) {
                        const int dx = x - px, dy = y - 5;
                        const bool inTable = std::abs(dx) <= 2 && std::abs(dy) <= 2;
                        const bool border = x < 2 || y < 2 || x > w - 3 || y > w - 3;
                        const int expected = inTable && !border ? table[dy + 2][dx + 2] : 0;
                        EXPECT_EQ(out[y * w + x], expected)
                            << px << " " << divisor << " (" << x << ", " << y << ")";
                    }
                }
            }
        }
    }
    // 255 everywhere stays 255 in every computed cell (divisor 40 gives 510, clamped).
    const NoiseField small = sized(9, 7);
    const std::vector<int> full(9 * 7, 255);
    for (const std::vector<int>& out : {small.smooth(full, 40), small.smooth(full, 80),
                                        small.smoothFast(full, 40), small.smoothFast(full, 80)}) {
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x)
                EXPECT_EQ(out[y * 9 + x], x < 2 || y < 2 || x > 6 || y > 4 ? 0 : 255) << x << y;
    }
}

TEST(NoiseField, LonePointAfterTheFiresPassesAndScaling) {
    const int w = 61;
    const NoiseField noise = sized(w, w);
    std::vector<int> field(w * w, 0), fast;
    field[30 * w + 30] = 255;
    fast = field;
    for (int pass = 0; pass < 10; ++pass) {
        field = noise.smooth(field, 40);
        fast = noise.smoothFast(fast, 40);
    }
    EXPECT_EQ(count(field, 255), 137);
    EXPECT_EQ(nonZero(field), 357);
    EXPECT_EQ(fast, field);
    for (int pass = 0; pass < 40; ++pass) {
        field = noise.smoothMean(field);
        fast = noise.smoothFast(fast, 80);
    }
    EXPECT_EQ(*std::max_element(field.begin(), field.end()), 126);
    EXPECT_EQ(nonZero(field), 793);
    EXPECT_EQ(fast, field);
    // generate does the same to its one point, drawn at least 20 cells from every edge.
    PortableRand draws, random;
    const int cell = drawnCell(draws.rand(), w * w);
    ASSERT_GE(std::min({cell % w, cell / w, w - 1 - cell % w, w - 1 - cell / w}), 20);
    const std::vector<int> map = NoiseField().generate(w, w, 1, 6, 10, 40, random);
    EXPECT_EQ(count(map, 2), 113);
    EXPECT_EQ(count(map, 1), 180);
    EXPECT_EQ(nonZero(map), 293);
    EXPECT_EQ(map[cell], 2);
    EXPECT_EQ(random.rand(), draws.rand());
}

TEST(NoiseField, ScalingToSixAndExactMultiples) {
    const int table[][3] = {{0, 42, 0},    {43, 84, 1},   {85, 127, 2}, {128, 169, 3},
                            {170, 212, 4}, {213, 254, 5}, {255, 255, 6}};
    for (auto [first, last, mapped] : table)
        for (int value = first; value <= last; ++value)
            EXPECT_EQ(NoiseField::scaleValue(value, 6), mapped) << value;
    // 1/255 as a float lies just above 1/255, so exact multiples reach their value.
    EXPECT_EQ(NoiseField::scaleValue(255, 1), 1);
    EXPECT_EQ(NoiseField::scaleValue(85, 3), 1);
    EXPECT_EQ(NoiseField::scaleValue(255, 255), 255);
}

TEST(NoiseField, GenerateIsThePlainPipelineWithAZeroBorder) {
    // Crowded, so that patches merge, and sparse, so that they stand alone and fade at the rims.
    for (auto [w, h] : {std::pair{97, 83}, {480, 270}}) {
        PortableRand random, draws;
        NoiseField noise;
        const std::vector<int> map = noise.generate(w, h, 210, 6, 10, 40, random);
        std::vector<int> field(w * h, 0);
        for (int p = 0; p < 210; ++p)
            field[drawnCell(draws.rand(), w * h)] = 255;
        for (int pass = 0; pass < 50; ++pass)
            field = noise.smooth(field, pass < 10 ? 40 : 80);
        for (int& value : field)
            value = NoiseField::scaleValue(value, 6);
        EXPECT_EQ(map, field) << w << "x" << h;
        EXPECT_EQ(random.rand(), draws.rand());
        EXPECT_GT(nonZero(map), 0);
        for (int i = 0; i < w * h; ++i) {
            const int x = i % w, y = i / w;
            const bool border = x < 2 || y < 2 || x > w - 3 || y > h - 3;
            ASSERT_TRUE(map[i] >= 0 && map[i] <= 6 && !(border && map[i] != 0)) << x << "," << y;
        }
    }
    // Grids of 4 or fewer rows or columns, and no points, give all 0; every point takes a draw.
    const int tiny[][3] = {{1, 1, 210}, {4, 4, 210}, {4, 60, 210}, {60, 4, 210},
                           {5, 1, 210}, {0, 5, 210}, {40, 30, 0}};
    for (auto [w, h, points] : tiny) {
        PortableRand random, draws;
        const std::vector<int> map = NoiseField().generate(w, h, points, 6, 10, 40, random);
        EXPECT_EQ(map, std::vector<int>(w * h, 0)) << w << "x" << h;
        for (int p = 0; p < points; ++p)
            draws.rand();
        EXPECT_EQ(random.rand(), draws.rand()) << w << "x" << h;
    }
}

TEST(NoiseField, FastSmoothingMatchesThePlainOneAtOddSizes) {
    std::vector<std::pair<int, int>> sizes = {{64, 64}, {65, 33}, {129, 65}, {33, 100}, {5, 300}};
    for (int height = 1; height <= 9; ++height)
        for (int width = 1; width <= 67; ++width)
            sizes.push_back({width, height});
    std::mt19937 engine(12345);
    for (auto [w, h] : sizes) {
        const NoiseField noise = sized(w, h);
        // Dense bytes; sparse points, many on the edges of the 32-column blocks the fast pass
        // skips; and values wide enough to drive both clamps.
        std::vector<int> dense(w * h), sparse(w * h, 0), wide(w * h);
        for (int i = 0; i < w * h; ++i) {
            dense[i] = std::uniform_int_distribution<int>(0, 255)(engine);
            wide[i] = std::uniform_int_distribution<int>(-3000, 3000)(engine);
            const int x = i % w;
            if (engine() % 60 == 0 ||
                ((x == 31 || x == 32 || x == 63 || x == w - 1) && i / w % 3 == 0))
                sparse[i] = dense[i] | 1;
        }
        for (const std::vector<int>& field : {dense, sparse, wide}) {
            for (int divisor : {40, 80, 1, 7, 255, 1000, -40}) {
                ASSERT_EQ(noise.smoothFast(field, divisor), noise.smooth(field, divisor))
                    << w << "x" << h << " divisor " << divisor;
            }
        }
    }
    // Several passes at once over patches that grow and fade, some spilling into an empty block.
    const int w = 150, h = 70;
    const NoiseField noise = sized(w, h);
    std::vector<int> field(w * h, 0);
    for (int i : {15 * w + 31, 15 * w + 84, 4 * w + 66, 50 * w + 120, 60 * w + 5, 33 * w + 100})
        field[i] = 255;
    EXPECT_EQ(noise.smoothFast(field, 40, 0), field);
    std::vector<int> plain = field;
    for (int passes = 1; passes <= 12; ++passes) {
        plain = noise.smooth(plain, 40);
        EXPECT_EQ(noise.smoothFast(field, 40, passes), plain) << passes << " passes";
    }
    std::vector<int> mean = plain;
    for (int passes = 1; passes <= 40; ++passes) {
        mean = noise.smooth(mean, 80);
        if (passes == 1 || passes == 5 || passes == 40) {
            EXPECT_EQ(noise.smoothFast(plain, 80, passes), mean) << passes << " passes";
        }
    }
}

}  // namespace
}  // namespace tavlomi
