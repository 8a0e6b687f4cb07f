#include "effects/noise_field.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "common/portable_rand.hpp"

namespace tavlomi {
namespace {

// A generator whose smoothing works on width x height fields; no draws, no passes.
NoiseField sizedField(int width, int height) {
    NoiseField noise;
    PortableRand unused;
    noise.generate(width, height, 0, 6, 0, 0, unused);
    return noise;
}

int countEqual(const std::vector<int>& field, int value) {
    return static_cast<int>(std::count(field.begin(), field.end(), value));
}

int countNonZero(const std::vector<int>& field) {
    return static_cast<int>(field.size()) - countEqual(field, 0);
}

// Expects `field` to hold `table` centred on (cx, cy) and 0 everywhere else.
void expectPatch(const std::vector<int>& field, int width, int cx, int cy,
                 const int (&table)[5][5]) {
    const int height = static_cast<int>(field.size()) / width;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int dx = x - cx;
            const int dy = y - cy;
            const bool inTable = dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2;
            const int expected = inTable ? table[dy + 2][dx + 2] : 0;
            EXPECT_EQ(field[y * width + x], expected) << "cell (" << x << ", " << y << ")";
        }
    }
}

constexpr int kSpreadOnce[5][5] = {
    {0, 6, 12, 6, 0},   {6, 25, 51, 25, 6}, {12, 51, 102, 51, 12},
    {6, 25, 51, 25, 6}, {0, 6, 12, 6, 0},
};
constexpr int kMeanOnce[5][5] = {
    {0, 3, 6, 3, 0}, {3, 12, 25, 12, 3}, {6, 25, 51, 25, 6}, {3, 12, 25, 12, 3}, {0, 3, 6, 3, 0},
};

TEST(NoiseFieldSmooth, OnePointOncePerDivisor) {
    const int width = 11, height = 11;
    NoiseField noise = sizedField(width, height);
    std::vector<int> field(width * height, 0);
    field[5 * width + 5] = 255;

    expectPatch(noise.smooth(field, 40), width, 5, 5, kSpreadOnce);
    expectPatch(noise.smooth(field, 80), width, 5, 5, kMeanOnce);
    expectPatch(noise.smoothMean(field), width, 5, 5, kMeanOnce);
    expectPatch(noise.smoothFast(field, 40), width, 5, 5, kSpreadOnce);
    expectPatch(noise.smoothFast(field, 80), width, 5, 5, kMeanOnce);
}

TEST(NoiseFieldSmooth, UniformFieldSaturatesInteriorAndClearsBorder) {
    const int width = 9, height = 7;
    NoiseField noise = sizedField(width, height);
    const std::vector<int> full(width * height, 255);
    for (int divisor : {40, 80}) {
        for (const std::vector<int>& out :
             {noise.smooth(full, divisor), noise.smoothFast(full, divisor)}) {
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const bool border = x < 2 || y < 2 || x > width - 3 || y > height - 3;
                    EXPECT_EQ(out[y * width + x], border ? 0 : 255)
                        << "divisor " << divisor << " cell (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(NoiseFieldSmooth, PointInBorderVanishesButFeedsInterior) {
    const int width = 11, height = 11;
    NoiseField noise = sizedField(width, height);
    std::vector<int> field(width * height, 0);
    field[5 * width + 1] = 255;
    const std::vector<int> out = noise.smooth(field, 40);
    EXPECT_EQ(out[5 * width + 1], 0);
    // Column 2 is one step right of the point, column 3 two steps.
    EXPECT_EQ(out[5 * width + 2], 51);
    EXPECT_EQ(out[4 * width + 2], 25);
    EXPECT_EQ(out[3 * width + 2], 6);
    EXPECT_EQ(out[5 * width + 3], 12);
    EXPECT_EQ(out[4 * width + 3], 6);
    EXPECT_EQ(out[3 * width + 3], 0);
    EXPECT_EQ(countNonZero(out), 8);
    EXPECT_EQ(noise.smoothFast(field, 40), out);
}

TEST(NoiseFieldSmooth, SinglePointAfterSpreadAndSoftenPasses) {
    const int width = 61, height = 61;
    NoiseField noise = sizedField(width, height);
    std::vector<int> field(width * height, 0);
    field[30 * width + 30] = 255;

    std::vector<int> fast = field;
    for (int pass = 0; pass < 10; ++pass) {
        field = noise.smooth(field, 40);
        fast = noise.smoothFast(fast, 40);
    }
    EXPECT_EQ(countEqual(field, 255), 137);
    EXPECT_EQ(countNonZero(field), 357);
    EXPECT_EQ(fast, field);

    for (int pass = 0; pass < 40; ++pass) {
        field = noise.smoothMean(field);
        fast = noise.smoothFast(fast, 80);
    }
    EXPECT_EQ(*std::max_element(field.begin(), field.end()), 126);
    EXPECT_EQ(countNonZero(field), 793);
    EXPECT_EQ(fast, field);

    for (int& value : field)
        value = NoiseField::scaleValue(value, 6);
    EXPECT_EQ(countEqual(field, 2), 113);
    EXPECT_EQ(countEqual(field, 1), 180);
    EXPECT_EQ(countEqual(field, 2) + countEqual(field, 1), countNonZero(field));
    EXPECT_EQ(field[30 * width + 30], 2);
}

TEST(NoiseFieldScale, TableForScaleSix) {
    struct Range {
        int first, last, mapped;
    };
    const Range table[] = {{0, 42, 0},    {43, 84, 1},   {85, 127, 2}, {128, 169, 3},
                           {170, 212, 4}, {213, 254, 5}, {255, 255, 6}};
    for (const Range& range : table) {
        for (int value = range.first; value <= range.last; ++value) {
            EXPECT_EQ(NoiseField::scaleValue(value, 6), range.mapped) << value;
        }
    }
}

TEST(NoiseFieldScale, ExactDivisionPointsReachTheirValue) {
    // 1/255 as a float lies just above 1/255, so exact multiples are not truncated down.
    EXPECT_EQ(NoiseField::scaleValue(255, 1), 1);
    EXPECT_EQ(NoiseField::scaleValue(85, 3), 1);
    EXPECT_EQ(NoiseField::scaleValue(255, 255), 255);
    EXPECT_EQ(NoiseField::scaleValue(0, 6), 0);
}

TEST(NoiseFieldGenerate, FirstPointLandsAtScaledDraw) {
    const int width = 61, height = 61, cells = width * height;
    PortableRand expected;
    const int r = expected.rand();
    const int index = static_cast<int>(static_cast<long long>(r) * cells / 32768);

    PortableRand random;
    NoiseField noise;
    const std::vector<int> raw = noise.generate(width, height, 1, 255, 0, 0, random);
    ASSERT_EQ(static_cast<int>(raw.size()), cells);
    EXPECT_EQ(raw[index], 255);
    EXPECT_EQ(countNonZero(raw), 1);
    EXPECT_EQ(random.rand(), expected.rand());
}

TEST(NoiseFieldGenerate, SingleInteriorPointGivesTheKnownPatch) {
    const int width = 61, height = 61, cells = width * height;
    PortableRand expected;
    const int index = static_cast<int>(static_cast<long long>(expected.rand()) * cells / 32768);
    const int px = index % width, py = index / width;
    ASSERT_GE(std::min({px, py, width - 1 - px, height - 1 - py}), 20)
        << "the first draw must land far from the edges for this check";

    PortableRand random;
    NoiseField noise;
    const std::vector<int> map = noise.generate(width, height, 1, 6, 10, 40, random);
    EXPECT_EQ(countEqual(map, 2), 113);
    EXPECT_EQ(countEqual(map, 1), 180);
    EXPECT_EQ(countNonZero(map), 293);
    EXPECT_EQ(map[index], 2);
}

// generate with the fire's arguments against the same steps built from the plain smoothing.
void expectGenerateMatchesPlainPipeline(int width, int height) {
    const int cells = width * height;
    PortableRand random;
    NoiseField noise;
    const std::vector<int> map = noise.generate(width, height, 210, 6, 10, 40, random);

    PortableRand draws;
    std::vector<int> field(cells, 0);
    for (int p = 0; p < 210; ++p) {
        field[static_cast<int>(static_cast<long long>(draws.rand()) * cells / 32768)] = 255;
    }
    for (int pass = 0; pass < 10; ++pass)
        field = noise.smooth(field, 40);
    for (int pass = 0; pass < 40; ++pass)
        field = noise.smoothMean(field);
    for (int& value : field)
        value = NoiseField::scaleValue(value, 6);

    EXPECT_EQ(map, field) << width << "x" << height;
    EXPECT_GT(countNonZero(map), 0);
    EXPECT_EQ(random.rand(), draws.rand());
}

TEST(NoiseFieldGenerate, MatchesThePlainPipeline) {
    // Crowded: patches merge. Sparse: patches stand alone and fade at their rims.
    expectGenerateMatchesPlainPipeline(97, 83);
    expectGenerateMatchesPlainPipeline(480, 270);
}

TEST(NoiseFieldGenerate, BorderIsZeroAndValuesInScale) {
    const int width = 50, height = 40;
    PortableRand random;
    NoiseField noise;
    const std::vector<int> map = noise.generate(width, height, 210, 6, 10, 40, random);
    ASSERT_EQ(static_cast<int>(map.size()), width * height);
    int nonZero = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int value = map[y * width + x];
            EXPECT_GE(value, 0);
            EXPECT_LE(value, 6);
            if (x < 2 || y < 2 || x > width - 3 || y > height - 3) {
                EXPECT_EQ(value, 0) << "cell (" << x << ", " << y << ")";
            }
            nonZero += value != 0;
        }
    }
    EXPECT_GT(nonZero, 0);
}

TEST(NoiseFieldGenerate, TinyGridsAndNoPointsGiveZero) {
    const std::pair<int, int> sizes[] = {{1, 1},  {2, 2},  {3, 3}, {4, 4}, {1, 9},
                                         {4, 60}, {60, 4}, {5, 1}, {0, 5}, {5, 0}};
    for (auto [width, height] : sizes) {
        PortableRand random;
        NoiseField noise;
        const std::vector<int> map = noise.generate(width, height, 210, 6, 10, 40, random);
        EXPECT_EQ(static_cast<int>(map.size()), width * height);
        EXPECT_EQ(countNonZero(map), 0) << width << "x" << height;
        // Every point still takes its draw.
        PortableRand expected;
        for (int p = 0; p < 210; ++p)
            expected.rand();
        EXPECT_EQ(random.rand(), expected.rand()) << width << "x" << height;
    }

    PortableRand random;
    NoiseField noise;
    const std::vector<int> map = noise.generate(40, 30, 0, 6, 10, 40, random);
    EXPECT_EQ(static_cast<int>(map.size()), 40 * 30);
    EXPECT_EQ(countNonZero(map), 0);
}

// Fields for comparing the two smoothing versions: dense, sparse (isolated points, many on the
// edges of the skipped blocks) and wide-ranged (drives both clamps).
std::vector<std::vector<int>> sampleFields(int width, int height, std::mt19937& engine) {
    const int cells = width * height;
    std::vector<std::vector<int>> fields;

    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<int> dense(cells);
    for (int& value : dense)
        value = byte(engine);
    fields.push_back(dense);

    std::vector<int> sparse(cells, 0);
    if (cells > 0) {
        std::uniform_int_distribution<int> cell(0, cells - 1);
        for (int p = 0; p < 1 + cells / 60; ++p)
            sparse[cell(engine)] = 255;
        for (int y = 0; y < height; y += 3) {
            for (int x : {31, 32, 63, 64, width - 1}) {
                if (x >= 0 && x < width) sparse[y * width + x] = byte(engine);
            }
        }
    }
    fields.push_back(sparse);

    std::uniform_int_distribution<int> wide(-3000, 3000);
    std::vector<int> signedField(cells);
    for (int& value : signedField)
        value = wide(engine);
    fields.push_back(signedField);
    return fields;
}

void expectFastMatchesPlain(int width, int height, std::mt19937& engine) {
    NoiseField noise = sizedField(width, height);
    for (const std::vector<int>& field : sampleFields(width, height, engine)) {
        for (int divisor : {40, 80, 1, 7, 255, 1000, -40}) {
            ASSERT_EQ(noise.smoothFast(field, divisor), noise.smooth(field, divisor))
                << width << "x" << height << " divisor " << divisor;
        }
    }
}

TEST(NoiseFieldSmoothFast, MatchesPlainOnSmallOddSizes) {
    std::mt19937 engine(12345);
    for (int width = 1; width <= 67; ++width) {
        for (int height = 1; height <= 9; ++height)
            expectFastMatchesPlain(width, height, engine);
    }
}

TEST(NoiseFieldSmoothFast, MatchesPlainOnLargerSizes) {
    std::mt19937 engine(777);
    const std::pair<int, int> sizes[] = {{64, 64},  {65, 33},  {100, 37}, {129, 65},
                                         {200, 50}, {33, 100}, {5, 300},  {321, 11}};
    for (auto [width, height] : sizes)
        expectFastMatchesPlain(width, height, engine);
}

// `passes` plain passes, the reference for a multi-pass fast call.
std::vector<int> plainPasses(const NoiseField& noise, std::vector<int> field, int divisor,
                             int passes) {
    for (int pass = 0; pass < passes; ++pass)
        field = noise.smooth(field, divisor);
    return field;
}

TEST(NoiseFieldSmoothFast, MatchesPlainOverRepeatedPasses) {
    // Sparse patches that grow and then fade, as in generate.
    const int width = 150, height = 70;
    NoiseField noise = sizedField(width, height);
    std::mt19937 engine(99);
    std::uniform_int_distribution<int> cell(0, width * height - 1);
    std::vector<int> field(width * height, 0);
    for (int p = 0; p < 12; ++p)
        field[cell(engine)] = 255;

    EXPECT_EQ(noise.smoothFast(field, 40, 0), field);
    for (int passes : {1, 2, 3, 10}) {
        EXPECT_EQ(noise.smoothFast(field, 40, passes), plainPasses(noise, field, 40, passes))
            << passes << " passes";
    }
    const std::vector<int> spread = plainPasses(noise, field, 40, 10);
    for (int passes : {1, 5, 40}) {
        EXPECT_EQ(noise.smoothFast(spread, 80, passes), plainPasses(noise, spread, 80, passes))
            << passes << " passes";
    }
}

TEST(NoiseFieldSmoothFast, PatchesEitherSideOfAnEmptyColumnBlock) {
    // Columns 32..63 start empty; the left point sits at its edge, the right one far from it,
    // so the cells the two patches spill into that block differ from pass to pass.
    const int width = 100, height = 30;
    NoiseField noise = sizedField(width, height);
    std::vector<int> field(width * height, 0);
    field[15 * width + 31] = 255;
    field[15 * width + 84] = 255;
    field[4 * width + 66] = 200;
    for (int passes = 1; passes <= 12; ++passes) {
        EXPECT_EQ(noise.smoothFast(field, 40, passes), plainPasses(noise, field, 40, passes))
            << passes << " passes";
        EXPECT_EQ(noise.smoothFast(field, 80, passes), plainPasses(noise, field, 80, passes))
            << passes << " passes";
    }
}

TEST(NoiseFieldGenerate, PointThatFadesAwayLeavesNothing) {
    // A lone point under mean passes loses a little to truncation each pass until none is left;
    // scale 255 keeps every surviving value visible.
    const int width = 41, height = 41;
    int lastAlive = -1;
    for (int passes = 0; passes <= 14; ++passes) {
        PortableRand random;
        NoiseField noise;
        const std::vector<int> map = noise.generate(width, height, 1, 255, 0, passes, random);

        PortableRand draws;
        std::vector<int> field(width * height, 0);
        field[static_cast<int>(static_cast<long long>(draws.rand()) * width * height / 32768)] =
            255;
        field = plainPasses(noise, field, 80, passes);
        for (int& value : field)
            value = NoiseField::scaleValue(value, 255);
        EXPECT_EQ(map, field) << passes << " passes";
        if (countNonZero(map) > 0) lastAlive = passes;
    }
    EXPECT_GE(lastAlive, 1);
    EXPECT_LT(lastAlive, 14);
}

}  // namespace
}  // namespace tavlomi
