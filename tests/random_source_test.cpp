#include "bake/random_source.h"

#include <gtest/gtest.h>

namespace {

TEST(RandomSource, FirstDrawsFromAFreshState) {
  // The sequence every AO picture since the library's load depends on.
  RandomSource source;
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724};
  for (int value : expected) EXPECT_EQ(RandomDraw(source), value);
}

TEST(RandomSource, DrawsStayWithinFifteenBits) {
  RandomSource source;
  for (int i = 0; i < 100000; ++i) {
    const int value = RandomDraw(source);
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
}

TEST(RandomSource, SkipEqualsThatManyDraws) {
  const uint64_t counts[] = {0, 1, 2, 3, 57, 1000, 65537, 1234567};
  for (uint64_t n : counts) {
    RandomSource stepped{12345u};
    for (uint64_t i = 0; i < n; ++i) RandomDraw(stepped);
    RandomSource skipped{12345u};
    RandomSkip(skipped, n);
    EXPECT_EQ(skipped.state, stepped.state) << n << " draws";
  }
}

TEST(RandomSource, SkipByThePeriodReturnsToTheStart) {
  // The generator has full period 2^32 (c odd, a - 1 divisible by 4).
  RandomSource source{777u};
  RandomSkip(source, uint64_t(1) << 32);
  EXPECT_EQ(source.state, 777u);
}

}  // namespace
