#include "common/portable_rand.hpp"

#include <gtest/gtest.h>

namespace tavlomi {
namespace {

TEST(PortableRand, StartsAtTheStandardsSequenceAndDiscardSkipsAsManyDraws) {
    PortableRand first;
    EXPECT_EQ(first.rand(), 16838);
    EXPECT_EQ(first.rand(), 5758);
    EXPECT_EQ(first.rand(), 10113);
    for (const unsigned long long count : {0ull, 1ull, 2ull, 3ull, 1000ull, 65537ull, 1234567ull}) {
        PortableRand drawn, skipped;
        for (unsigned long long i = 0; i < count; ++i)
            drawn.rand();
        skipped.discard(count);
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(skipped.rand(), drawn.rand()) << count;
    }
}

}  // namespace
}  // namespace tavlomi
