// The water's fast loops against the plain ones: random heights of every size (any int, large,
// and realistic ripples) on grids of odd sizes, several dampings, and whole runs of the effect.

#include "effects/water_kernels.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/status_sink.hpp"
#include "effects/water_effect.hpp"

namespace tavlomi {
namespace {

std::string levelName(SimdLevel level) {
    return level == SimdLevel::Avx2 ? "avx2" : "portable";
}

enum class Surface { AnyInt, Large, Ripples };

std::string surfaceName(Surface surface) {
    switch (surface) {
        case Surface::AnyInt:
            return "any int";
        case Surface::Large:
            return "large";
        case Surface::Ripples:
            return "ripples";
    }
    return "";
}

// Heights of the given kind: any int (their sums wrap), large values of both signs, or the
// ripples a few dips leave after some steps.
std::vector<int> randomHeights(int width, int height, Surface surface, std::mt19937& random) {
    const std::size_t cells = static_cast<std::size_t>(width) * height;
    std::vector<int> heights(cells, 0);
    switch (surface) {
        case Surface::AnyInt:
            for (int& h : heights)
                h = static_cast<int>(random());
            break;
        case Surface::Large:
            for (int& h : heights)
                h = std::uniform_int_distribution<int>(-(1 << 27), 1 << 27)(random);
            break;
        case Surface::Ripples: {
            std::vector<int> older(cells, 0);
            for (int step = 0; step < 6; ++step) {
                for (int dip = 0; dip < 3; ++dip)
                    heights[random() % cells] = -400;
                waterPropagatePlain(heights, older, width, height, 25);
                std::swap(heights, older);
            }
            break;
        }
    }
    return heights;
}

struct Size {
    int width;
    int height;
};

// Every width 1..67 with every height 1..9, then a few larger grids.
std::vector<Size> gridSizes() {
    std::vector<Size> sizes;
    for (int height = 1; height <= 9; ++height) {
        for (int width = 1; width <= 67; ++width)
            sizes.push_back({width, height});
    }
    for (Size size : {Size{320, 24}, Size{333, 17}, Size{1920, 4}, Size{64, 64}})
        sizes.push_back(size);
    return sizes;
}

TEST(TruncatingDivisor, MultiplierMeetsTheExactnessBound) {
    // The bound excess < 2^(shift + 1) is what makes the multiply-high exact for every int.
    std::vector<int> divisors;
    for (int d = 2; d <= 5000; ++d)
        divisors.push_back(d);
    for (int d : {65535, 65536, 65537, 1 << 20, (1 << 30) - 1, 1 << 30, (1 << 30) + 1, INT_MAX - 1,
                  INT_MAX})
        divisors.push_back(d);
    for (int d : divisors) {
        const TruncatingDivisor divisor(d);
        const int shift = divisor.shift();
        ASSERT_GE(shift, 0) << d;
        ASSERT_LT(shift, 32) << d;
        const std::uint64_t power = std::uint64_t{1} << (32 + shift);
        const std::uint64_t product = std::uint64_t{divisor.multiplier()} * std::uint64_t(d);
        ASSERT_GE(product, power) << d;
        ASSERT_EQ(product - power, divisor.excess()) << d;
        ASSERT_LT(divisor.excess(), std::uint64_t(d)) << d;
        ASSERT_LT(divisor.excess(), std::uint64_t{1} << (shift + 1)) << d;
    }
    EXPECT_EQ(TruncatingDivisor(25).multiplier(), 0x51EB851Fu);
    EXPECT_EQ(TruncatingDivisor(25).shift(), 3);
}

TEST(TruncatingDivisor, DividesLikeTheOperatorAtTheEdges) {
    std::mt19937 random(3);
    for (int d : {2, 3, 7, 24, 25, 26, 100, 1000, 1 << 16, 1 << 30, INT_MAX}) {
        const TruncatingDivisor divisor(d);
        std::vector<int> values{0, 1, -1, INT_MAX, INT_MIN, INT_MIN + 1, INT_MAX - 1};
        // Multiples of d and their neighbours up to the ends of the range.
        for (int k :
             {INT_MAX / d, INT_MAX / d - 1, INT_MIN / d, INT_MIN / d + 1, 1, -1, 2, -2, 0}) {
            const long long m = static_cast<long long>(k) * d;
            for (long long n : {m - 1, m, m + 1}) {
                if (n >= INT_MIN && n <= INT_MAX) values.push_back(static_cast<int>(n));
            }
        }
        for (int i = 0; i < 20000; ++i)
            values.push_back(static_cast<int>(random()));
        for (int n = -100000; n <= 100000; ++n)
            values.push_back(n);
        for (int n : values)
            ASSERT_EQ(divisor.divide(n), n / d) << n << " / " << d;
    }
}

TEST(WaterKernels, SeedMatchesThePlainLoop) {
    std::mt19937 random(17);
    for (Size size : gridSizes()) {
        const std::size_t cells = static_cast<std::size_t>(size.width) * size.height;
        std::vector<std::uint8_t> mask(cells);
        // Sparse motion as a camera gives it, and any byte value as a mask could hold.
        for (std::uint8_t& m : mask)
            m = random() % 5 == 0 ? static_cast<std::uint8_t>(random()) : 0;
        const std::vector<int> start =
            randomHeights(size.width, size.height, Surface::AnyInt, random);
        std::vector<int> expected = start;
        waterSeedPlain(mask, expected, -400);
        for (SimdLevel level : supportedSimdLevels()) {
            std::vector<int> heights = start;
            waterSeed(mask, heights, -400, level);
            ASSERT_EQ(heights, expected)
                << levelName(level) << " " << size.width << "x" << size.height;
        }
    }
}

TEST(WaterKernels, PropagateMatchesThePlainLoop) {
    std::mt19937 random(23);
    for (Size size : gridSizes()) {
        for (Surface surface : {Surface::AnyInt, Surface::Large, Surface::Ripples}) {
            const std::vector<int> current =
                randomHeights(size.width, size.height, surface, random);
            const std::vector<int> older = randomHeights(size.width, size.height, surface, random);
            for (int damping : {25, 2, 3, 4, 7, 24, 26, 1000, 1 << 20, INT_MAX, 1, -25}) {
                std::vector<int> expected = older;
                waterPropagatePlain(current, expected, size.width, size.height, damping);
                for (SimdLevel level : supportedSimdLevels()) {
                    std::vector<int> next = older;
                    waterPropagate(current, next, size.width, size.height, damping, level);
                    ASSERT_EQ(next, expected)
                        << levelName(level) << " " << size.width << "x" << size.height << " "
                        << surfaceName(surface) << " damping " << damping;
                }
            }
        }
    }
}

TEST(WaterKernels, RenderMatchesThePlainLoop) {
    std::mt19937 random(29);
    constexpr std::uint32_t kUntouched = 0x12345678u;
    for (Size size : gridSizes()) {
        const std::size_t cells = static_cast<std::size_t>(size.width) * size.height;
        RgbGrid rgb(cells);
        for (RgbCell& cell : rgb) {
            cell = makeRgbCell(static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                               static_cast<int>(random() % 256));
        }
        for (Surface surface : {Surface::AnyInt, Surface::Large, Surface::Ripples}) {
            const std::vector<int> heights =
                randomHeights(size.width, size.height, surface, random);
            std::vector<std::uint32_t> expected(cells, kUntouched);
            waterRenderPlain(heights, rgb, expected, size.width, size.height);
            for (SimdLevel level : supportedSimdLevels()) {
                std::vector<std::uint32_t> pixels(cells, kUntouched);
                waterRender(heights, rgb, pixels, size.width, size.height, level);
                ASSERT_EQ(pixels, expected) << levelName(level) << " " << size.width << "x"
                                            << size.height << " " << surfaceName(surface);
            }
        }
    }
}

TEST(WaterKernels, RenderShadesAndClampsEveryChannelAtEveryLevel) {
    // Two rows of 17 cells: row 0 is level (dx = 0) and row 1 lies 2 * shade below it, so cell
    // x of row 0 has dy = 2 * shade: its source is row (2 * shade) >> 3 clamped to 0..1, and it
    // is shaded by shade. The shades cover both clamps and beyond 255.
    const int width = 17;
    const int shades[16] = {0,    1,    -1,   100, -100, 254,     255,      256,
                            -255, -256, -300, 300, 7,    1000000, -1000000, 3};
    std::vector<int> heights(2 * width, 0);
    for (int x = 0; x < 16; ++x)
        heights[width + x] = -2 * shades[x];
    RgbGrid rgb(2 * width);
    for (int x = 0; x < width; ++x) {
        rgb[x] = makeRgbCell(10 + x, 128, 250 - x);
        rgb[width + x] = makeRgbCell(200 - x, 5 + x, 60);
    }
    for (SimdLevel level : supportedSimdLevels()) {
        std::vector<std::uint32_t> pixels(2 * width, 0);
        waterRender(heights, rgb, pixels, width, 2, level);
        for (int x = 0; x < 16; ++x) {
            const int shade = shades[x];
            const int row = std::clamp((2 * shade) >> 3, 0, 1);
            const RgbCell source = rgb[row * width + x];
            const auto lit = [&](int channel) { return std::clamp(channel + shade, 0, 255); };
            EXPECT_EQ(pixels[x], pixelWord(lit(source.r), lit(source.g), lit(source.b)))
                << levelName(level) << " cell " << x << " shade " << shade;
        }
        // The last column and the last row are not written.
        for (int x = 16; x < 2 * width; ++x)
            EXPECT_EQ(pixels[x], 0u) << levelName(level) << x;
    }
}

class NullSink final : public StatusSink {
  public:
    void print(std::string_view) override {}
};

constexpr int kKeyF = 102;
constexpr int kKeySpace = 32;

// Two effects, one at each level, driven alike; the Portable level runs the plain loops.
struct EffectPair {
    EffectPair(int width, int height)
        : w(width),
          h(height),
          mask(static_cast<std::size_t>(width * height), 0),
          rgb(static_cast<std::size_t>(width * height)),
          plain(width, height, 25, mask, rgb, sink, SimdLevel::Portable),
          fast(width, height, 25, mask, rgb, sink, bestSimdLevel()) {
        std::mt19937 random(41);
        for (RgbCell& cell : rgb) {
            cell = makeRgbCell(static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                               static_cast<int>(random() % 256));
        }
    }

    void key(int k) {
        plain.handleKey(k);
        fast.handleKey(k);
    }
    void ballMoved(int x, int y) {
        plain.ballMoved(x, y);
        fast.ballMoved(x, y);
    }
    // One frame: update and render both, then compare surfaces and pictures.
    void frame(const std::string& where) {
        plain.update();
        fast.update();
        std::vector<std::uint32_t> plainPixels(mask.size(), 0);
        std::vector<std::uint32_t> fastPixels(mask.size(), 0);
        plain.render(plainPixels);
        fast.render(fastPixels);
        ASSERT_EQ(fast.currentHeights(), plain.currentHeights()) << where;
        ASSERT_EQ(fast.nextHeights(), plain.nextHeights()) << where;
        ASSERT_EQ(fastPixels, plainPixels) << where;
    }
    // A disc of motion cells: where a moving object was or is.
    void moveObject(int fromX, int toX, int y, int radius) {
        for (int row = 0; row < h; ++row) {
            for (int x = 0; x < w; ++x) {
                const auto inside = [&](int cx) {
                    return (x - cx) * (x - cx) + (row - y) * (row - y) < radius * radius;
                };
                mask[row * w + x] = inside(fromX) != inside(toX) ? 1 : 0;
            }
        }
    }

    int w;
    int h;
    NullSink sink;
    MotionMask mask;
    RgbGrid rgb;
    WaterEffect plain;
    WaterEffect fast;
};

TEST(WaterKernels, WholeRunsInBothModesMatchThePlainLoops) {
    EffectPair water(97, 61);
    // Ball mode: drops along a path, some while frozen.
    for (int i = 0; i < 40; ++i) {
        if (i == 20 || i == 26) water.key(kKeyF);
        water.ballMoved(16 + (i * 3) % 60, 16 + (i * 2) % 30);
        ASSERT_NO_FATAL_FAILURE(water.frame("ball frame " + std::to_string(i)));
    }
    // Motion mode: an object moving to and fro, once frozen.
    water.key(kKeySpace);
    for (int i = 0; i < 40; ++i) {
        if (i == 10 || i == 13) water.key(kKeyF);
        const int x = 20 + (i % 10) * 5;
        water.moveObject(x, x + 5, 30, 9);
        ASSERT_NO_FATAL_FAILURE(water.frame("motion frame " + std::to_string(i)));
    }
}

TEST(WaterKernels, MotionModeHeightsOutgrowAnIntAndStillMatch) {
    // An object moving steadily in motion mode makes the heights grow without bound until they
    // wrap at 32 bits; both levels must agree all the way, and a drop on the wrapped surface too.
    EffectPair water(64, 48);
    water.key(kKeySpace);
    long long largest = 0;
    // To and fro between columns 13 and 49, 5 columns a frame.
    const auto objectX = [](int frame) {
        const int t = (frame * 5) % 72;
        return 13 + (t < 36 ? t : 72 - t);
    };
    for (int i = 1; i < 700 && largest < (1LL << 30); ++i) {
        water.moveObject(objectX(i - 1), objectX(i), 24, 8);
        ASSERT_NO_FATAL_FAILURE(water.frame("motion frame " + std::to_string(i)));
        for (int v : water.fast.currentHeights())
            largest = std::max(largest, std::llabs(v));
    }
    EXPECT_GE(largest, 1LL << 30);
    for (int i = 0; i < 20; ++i) {
        water.mask.assign(water.mask.size(), 0);
        ASSERT_NO_FATAL_FAILURE(water.frame("after " + std::to_string(i)));
    }
    water.key(kKeySpace);
    water.ballMoved(30, 30);
    water.ballMoved(31, 30);
    ASSERT_NO_FATAL_FAILURE(water.frame("drop"));
}

}  // namespace
}  // namespace tavlomi
