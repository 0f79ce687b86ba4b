#include "bake/random_source.h"

RandomSource g_randomSource;

namespace {
constexpr uint32_t kMultiplier = 214013u;
constexpr uint32_t kIncrement = 2531011u;
}  // namespace

int RandomDraw(RandomSource& source) {
  source.state = source.state * kMultiplier + kIncrement;
  return static_cast<int>((source.state >> 16) & 0x7FFFu);
}

void RandomSkip(RandomSource& source, uint64_t draws) {
  // Compose the affine step x -> a*x + c with itself by repeated squaring.
  uint32_t a = kMultiplier, c = kIncrement;
  uint32_t totalA = 1, totalC = 0;
  while (draws != 0) {
    if (draws & 1u) {
      totalA *= a;
      totalC = totalC * a + c;
    }
    c = c * a + c;
    a *= a;
    draws >>= 1;
  }
  source.state = source.state * totalA + totalC;
}
