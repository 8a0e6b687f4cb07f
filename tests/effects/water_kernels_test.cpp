// The water's fast loops against the plain ones: random heights of three kinds on grids of odd
// sizes, several dampings, at every level this processor supports.

#include "effects/water_kernels.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tavlomi {
namespace {

TEST(TruncatingDivisor, MeetsTheExactnessBoundAndDividesLikeTheOperator) {
    // excess < 2^(shift + 1) is what makes the multiply-high exact for every int.
    std::vector<int> divisors = {65535,   65536,         65537,       1 << 20, (1 << 30) - 1,
                                 1 << 30, (1 << 30) + 1, INT_MAX - 1, INT_MAX};
    for (int d = 2; d <= 5000; ++d)
        divisors.push_back(d);
    std::mt19937 random(3);
    for (int d : divisors) {
        const TruncatingDivisor divisor(d);
        ASSERT_LT(divisor.shift(), 32) << d;
        const std::uint64_t power = std::uint64_t{1} << (32 + divisor.shift());
        ASSERT_EQ(std::uint64_t{divisor.multiplier()} * std::uint64_t(d) - power, divisor.excess());
        ASSERT_LT(divisor.excess(), std::uint64_t(d)) << d;
        ASSERT_LT(divisor.excess(), std::uint64_t{2} << divisor.shift()) << d;
        // The ends of the range, multiples of d next to them and to 0, and some random values.
        std::vector<long long> values = {0, 1, -1, INT_MAX, INT_MIN, INT_MIN + 1, INT_MAX - 1};
        for (long long k : {INT_MAX / d, INT_MIN / d, 1, -1, 2, -2})
            for (long long n : {k * d - 1, k * d, k * d + 1})
                values.push_back(n);
        for (int i = 0; i < 200; ++i)
            values.push_back(static_cast<int>(random()));
        for (long long n : values) {
            if (n >= INT_MIN && n <= INT_MAX) {
                ASSERT_EQ(divisor.divide(static_cast<int>(n)), static_cast<int>(n) / d)
                    << n << "/" << d;
            }
        }
    }
    for (int n = -100000; n <= 100000; ++n)
        ASSERT_EQ(TruncatingDivisor(25).divide(n), n / 25) << n;
    EXPECT_EQ(TruncatingDivisor(25).multiplier(), 0x51EB851Fu);
    EXPECT_EQ(TruncatingDivisor(25).shift(), 3);
}

// Heights of one kind: 0, any int (their sums wrap); 1, large values of both signs; 2, the
// ripples a few dips leave after some steps.
std::vector<int> randomHeights(int width, int height, int kind, std::mt19937& random) {
    const std::size_t cells = static_cast<std::size_t>(width) * height;
    std::vector<int> heights(cells, 0), older(cells, 0);
    for (int& h : heights) {
        if (kind == 0) h = static_cast<int>(random());
        if (kind == 1) h = std::uniform_int_distribution<int>(-(1 << 27), 1 << 27)(random);
    }
    for (int step = 0; kind == 2 && step < 6; ++step) {
        for (int dip = 0; dip < 3; ++dip)
            heights[random() % cells] = -400;
        waterPropagatePlain(heights, older, width, height, 25);
        std::swap(heights, older);
    }
    return heights;
}

TEST(WaterKernels, FastSeedPropagateAndRenderMatchThePlainLoops) {
    std::vector<std::pair<int, int>> sizes = {{320, 24}, {333, 17}, {1920, 4}, {64, 64}};
    for (int height = 1; height <= 9; ++height)
        for (int width = 1; width <= 67; ++width)
            sizes.push_back({width, height});
    const int dampings[] = {25, 2, 3, 4, 7, 24, 26, 1000, 1 << 20, INT_MAX, 1, -25};
    constexpr std::uint32_t kUntouched = 0x12345678u;
    std::mt19937 random(17);
    for (auto [w, h] : sizes) {
        const std::size_t cells = static_cast<std::size_t>(w) * h;
        // Sparse motion as a camera gives it, with any byte value a mask could hold.
        MotionMask mask(cells);
        for (std::uint8_t& m : mask)
            m = random() % 5 == 0 ? static_cast<std::uint8_t>(random()) : 0;
        RgbGrid rgb(cells);
        for (RgbCell& cell : rgb)
            cell = makeRgbCell(random() % 256, random() % 256, random() % 256);
        for (int kind = 0; kind < 3; ++kind) {
            const std::vector<int> current = randomHeights(w, h, kind, random);
            const std::vector<int> older = randomHeights(w, h, kind, random);
            std::vector<int> seeded = current;
            waterSeedPlain(mask, seeded, -400);
            std::vector<std::uint32_t> picture(cells, kUntouched);
            waterRenderPlain(current, rgb, picture, w, h);
            for (SimdLevel level : supportedSimdLevels()) {
                const std::string where = (level == SimdLevel::Avx2 ? "avx2 " : "portable ") +
                                          std::to_string(w) + "x" + std::to_string(h) + " kind " +
                                          std::to_string(kind);
                std::vector<int> heights = current;
                waterSeed(mask, heights, -400, level);
                ASSERT_EQ(heights, seeded) << where;
                std::vector<std::uint32_t> pixels(cells, kUntouched);
                waterRender(current, rgb, pixels, w, h, level);
                ASSERT_EQ(pixels, picture) << where;
                for (int damping : dampings) {
                    std::vector<int> expected = older, next = older;
                    waterPropagatePlain(current, expected, w, h, damping);
                    waterPropagate(current, next, w, h, damping, level);
                    ASSERT_EQ(next, expected) << where << " damping " << damping;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tavlomi
