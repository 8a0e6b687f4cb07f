#include "app/memory_budget.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "app/toy.hpp"
#include "support/recording_status.hpp"
#include "support/uniform_source.hpp"

// Every allocation of this test program through operator new is counted, so that the toy's peak
// can be held against the estimate.
namespace {
std::size_t allocatedBytes = 0;
std::size_t peakBytes = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);
}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    allocatedBytes += size;
    peakBytes = std::max(peakBytes, allocatedBytes);
    return static_cast<char*>(block) + kHeader;
}

void operator delete(void* memory) noexcept {
    if (memory == nullptr) return;
    void* block = static_cast<char*>(memory) - kHeader;
    allocatedBytes -= *static_cast<std::size_t*>(block);
    std::free(block);
}

void operator delete(void* memory, std::size_t) noexcept {
    operator delete(memory);
}

namespace tavlomi {
namespace {

TEST(MemoryBudget, TheToysPeakFitsItsShareOfTheEstimate) {
    RecordingStatus status;
    UniformSource source(100);
    std::vector<std::uint32_t> surface(300 * 200);
    const std::size_t before = allocatedBytes;
    peakBytes = before;
    {
        Toy toy(300, 200, source, status);
        for (int effect = 0; effect < 3; ++effect) {
            toy.selectEffect(effect);
            toy.detectMotion();
            toy.stepBall();
            toy.updateEffect();
            toy.renderEffect(surface);
        }
    }
    EXPECT_LE(peakBytes - before, kToyBytesPerCell * 300 * 200);
    EXPECT_EQ(toyMemoryBytes(16383, 16383), 13420134450u);
}

TEST(MemoryBudget, AShortageIsNamedWithWhatIsNeededAndWhatCanBeHad) {
    const struct {
        int width;
        int height;
        std::optional<std::uint64_t> available;
        const char* notice;
    } cases[] = {
        {16383, 16383, std::nullopt, ""},
        {16383, 16383, 13420134450u, ""},
        {16383, 16383, 3049000000u,
         "not enough memory for a 16383 x 16383 grid: it needs about 13.4 GB, 3.0 GB can be had"},
        {1000, 1000, 49499999u,
         "not enough memory for a 1000 x 1000 grid: it needs about 50 MB, 49 MB can be had"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(memoryShortage(c.width, c.height, c.available), c.notice);
}

TEST(MemoryBudget, AnAllocationFailureBecomesTheNoticeAndStatus1) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(exitStatusWithinMemory("tavlomi", 640, 480, [] { return 7; }), 7);
    EXPECT_EQ(exitStatusWithinMemory("tavlomi", 640, 480, []() -> int { throw std::bad_alloc(); }),
              1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "tavlomi: not enough memory for a 640 x 480 grid\n");
}

}  // namespace
}  // namespace tavlomi
