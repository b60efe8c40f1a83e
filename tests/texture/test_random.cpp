// The library random against its recurrence computed in 64-bit arithmetic.
#include "random.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(LibraryRandom, FirstNumbersFromStateOne)
{
    resetlibraryrand();
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int v : expected)
        EXPECT_EQ(libraryrand(), v);
}

TEST(LibraryRandom, FollowsTheRecurrenceModulo2To32)
{
    resetlibraryrand();
    uint64_t state = 1;
    for (int i = 0; i < 100000; i++) {
        state = (state * 214013 + 2531011) % 4294967296ull;
        ASSERT_EQ(libraryrand(), int((state >> 16) % 32768)) << "draw " << i;
    }
    EXPECT_EQ(librandom.state, uint32_t(state));
}

TEST(LibraryRandom, ResetStartsOver)
{
    resetlibraryrand();
    int first = libraryrand();
    libraryrand();
    resetlibraryrand();
    EXPECT_EQ(librandom.state, 1u);
    EXPECT_EQ(libraryrand(), first);
}
