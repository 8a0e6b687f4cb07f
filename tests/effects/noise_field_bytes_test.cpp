// Smoothing fields of bytes against the plain pass: every sum a byte field can make, random
// fields of odd sizes, repeated passes, and generate at every level.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/portable_rand.hpp"
#include "effects/noise_field.hpp"

namespace tavlomi {
namespace {

std::string levelName(SimdLevel level) {
    return level == SimdLevel::Avx2 ? "avx2" : "portable";
}

NoiseField sizedField(int width, int height) {
    NoiseField noise;
    PortableRand unused;
    noise.generate(width, height, 0, 6, 0, 0, unused);
    return noise;
}

std::vector<int> widen(const std::vector<std::uint8_t>& bytes) {
    return std::vector<int>(bytes.begin(), bytes.end());
}

std::vector<int> plainPasses(const NoiseField& noise, std::vector<int> field, int divisor,
                             int passes) {
    for (int pass = 0; pass < passes; ++pass)
        field = noise.smooth(field, divisor);
    return field;
}

void expectBytesMatchPlain(const NoiseField& noise, const std::vector<std::uint8_t>& field,
                           int divisor, int passes, const std::string& what) {
    const std::vector<int> expected = plainPasses(noise, widen(field), divisor, passes);
    for (SimdLevel level : supportedSimdLevels()) {
        ASSERT_EQ(widen(noise.smoothBytes(field, divisor, passes, level)), expected)
            << what << " divisor " << divisor << " passes " << passes << " " << levelName(level);
    }
}

TEST(NoiseFieldBytes, EveryWeightedSumDividesExactly) {
    // One 5 x 5 window per sum 0..80 * 255, centred every 5 cells so that no centre reads
    // another's window: the window's bytes, filled largest weight first, add up to the sum.
    const int weights[5][5] = {
        {0, 1, 2, 1, 0}, {1, 4, 8, 4, 1}, {2, 8, 16, 8, 2}, {1, 4, 8, 4, 1}, {0, 1, 2, 1, 0},
    };
    const int sums = 80 * 255 + 1;
    const int windowsPerRow = 146;
    const int windowRows = (sums + windowsPerRow - 1) / windowsPerRow;
    const int width = 5 * windowsPerRow + 4;
    const int height = 5 * windowRows + 4;
    std::vector<std::uint8_t> field(static_cast<std::size_t>(width) * height, 0);
    for (int sum = 0; sum < sums; ++sum) {
        const int cx = 4 + 5 * (sum % windowsPerRow);
        const int cy = 4 + 5 * (sum / windowsPerRow);
        int remaining = sum;
        for (int weight : {16, 8, 4, 2, 1}) {
            for (int dy = -2; dy <= 2; ++dy) {
                for (int dx = -2; dx <= 2; ++dx) {
                    if (weights[dy + 2][dx + 2] != weight) continue;
                    const int value = std::min(255, remaining / weight);
                    field[static_cast<std::size_t>(cy + dy) * width + cx + dx] =
                        static_cast<std::uint8_t>(value);
                    remaining -= value * weight;
                }
            }
        }
        ASSERT_EQ(remaining, 0) << sum;
    }
    const NoiseField noise = sizedField(width, height);
    for (int divisor : {40, 80, 2, 3, 7, 41, 79, 81, 255, 256, 1000, 20400, 20401, 1, -40})
        expectBytesMatchPlain(noise, field, divisor, 1, "every sum");
}

std::vector<std::vector<std::uint8_t>> sampleFields(int width, int height, std::mt19937& engine) {
    const std::size_t cells = static_cast<std::size_t>(width) * height;
    std::vector<std::vector<std::uint8_t>> fields;
    std::vector<std::uint8_t> dense(cells);
    for (std::uint8_t& value : dense)
        value = static_cast<std::uint8_t>(engine());
    fields.push_back(dense);

    // Isolated points, many of them on the edges of the skipped blocks.
    std::vector<std::uint8_t> sparse(cells, 0);
    if (cells > 0) {
        for (std::size_t p = 0; p < 1 + cells / 60; ++p)
            sparse[engine() % cells] = 255;
        for (int y = 0; y < height; y += 3) {
            for (int x : {31, 32, 33, 63, 64, width - 1}) {
                if (x >= 0 && x < width)
                    sparse[y * width + x] = static_cast<std::uint8_t>(engine());
            }
        }
    }
    fields.push_back(sparse);
    fields.push_back(std::vector<std::uint8_t>(cells, 255));
    return fields;
}

TEST(NoiseFieldBytes, MatchPlainOnOddSizes) {
    std::mt19937 engine(2024);
    std::vector<std::pair<int, int>> sizes;
    for (int width = 1; width <= 67; ++width) {
        for (int height = 1; height <= 9; ++height)
            sizes.push_back({width, height});
    }
    for (auto size : {std::pair{64, 64}, {65, 33}, {129, 65}, {200, 50}, {33, 100}, {321, 11}})
        sizes.push_back(size);
    for (auto [width, height] : sizes) {
        const NoiseField noise = sizedField(width, height);
        for (const std::vector<std::uint8_t>& field : sampleFields(width, height, engine)) {
            for (int divisor : {40, 80, 1, 7, 255, -40}) {
                expectBytesMatchPlain(noise, field, divisor, 1,
                                      std::to_string(width) + "x" + std::to_string(height));
            }
        }
    }
}

TEST(NoiseFieldBytes, MatchPlainOverRepeatedPasses) {
    // Sparse patches that grow and then fade, as in generate, on a grid whose rows end inside a
    // column block.
    const int width = 150, height = 70;
    const NoiseField noise = sizedField(width, height);
    std::mt19937 engine(99);
    std::vector<std::uint8_t> field(width * height, 0);
    for (int p = 0; p < 12; ++p)
        field[engine() % field.size()] = 255;
    for (SimdLevel level : supportedSimdLevels())
        EXPECT_EQ(noise.smoothBytes(field, 40, 0, level), field);
    for (int passes : {1, 2, 3, 10})
        expectBytesMatchPlain(noise, field, 40, passes, "points");
    std::vector<std::uint8_t> spread(field.size());
    const std::vector<int> spreadValues = plainPasses(noise, widen(field), 40, 10);
    std::copy(spreadValues.begin(), spreadValues.end(), spread.begin());
    for (int passes : {1, 5, 40})
        expectBytesMatchPlain(noise, spread, 80, passes, "patches");
}

TEST(NoiseFieldBytes, GenerateGivesThePlainPipelinesMapAtEveryLevel) {
    // Crowded (patches merge), sparse (patches stand alone) and a full-HD-wide strip.
    for (auto [width, height] : {std::pair{97, 83}, {480, 270}, {1920, 40}}) {
        NoiseField plain;
        PortableRand plainDraws;
        plain.generate(width, height, 0, 6, 0, 0, plainDraws);
        std::vector<int> field(width * height, 0);
        for (int p = 0; p < 210; ++p) {
            const int r = plainDraws.rand();
            field[static_cast<int>(static_cast<long long>(r) * width * height / 32768)] = 255;
        }
        field = plainPasses(plain, field, 40, 10);
        field = plainPasses(plain, field, 80, 40);
        for (int& value : field)
            value = NoiseField::scaleValue(value, 6);
        for (SimdLevel level : supportedSimdLevels()) {
            PortableRand random;
            NoiseField noise;
            EXPECT_EQ(noise.generate(width, height, 210, 6, 10, 40, random, level), field)
                << width << "x" << height << " " << levelName(level);
            PortableRand after = plainDraws;
            EXPECT_EQ(random.rand(), after.rand());
        }
    }
}

TEST(NoiseFieldBytes, GenerateBytesIsGenerateInBytes) {
    for (int scale : {6, 0, 1, 255, 100}) {
        for (auto [width, height] : {std::pair{64, 48}, {131, 7}, {3, 3}}) {
            for (SimdLevel level : supportedSimdLevels()) {
                PortableRand intDraws;
                PortableRand byteDraws;
                const std::vector<int> map =
                    NoiseField().generate(width, height, 210, scale, 10, 40, intDraws, level);
                const std::vector<std::uint8_t> bytes =
                    NoiseField().generateBytes(width, height, 210, scale, 10, 40, byteDraws, level);
                EXPECT_EQ(widen(bytes), map)
                    << width << "x" << height << " scale " << scale << " " << levelName(level);
                EXPECT_EQ(intDraws.rand(), byteDraws.rand());
            }
        }
    }
    // Scale 6 puts the smoothed values 0..255 into the seven bands 0..6.
    PortableRand random;
    const std::vector<std::uint8_t> map =
        NoiseField().generateBytes(97, 83, 210, 6, 10, 40, random);
    EXPECT_GT(*std::max_element(map.begin(), map.end()), 0);
    EXPECT_LE(*std::max_element(map.begin(), map.end()), 6);
}

}  // namespace
}  // namespace tavlomi
