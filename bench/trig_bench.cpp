// Cost of the plug-in's own Cosine and Sine next to the C library's, on the
// float angles the rotation matrices see (|x| < 4), on angles up to 1e5 and on
// huge angles that take the integer reduction.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "math/vecmath.h"

namespace {

std::vector<double> FloatAngles(float limit) {
  std::mt19937 random(5);
  std::uniform_real_distribution<float> uniform(-limit, limit);
  std::vector<double> angles(4096);
  for (double& a : angles) a = uniform(random);
  return angles;
}

using AngleFunction = double (*)(double);

void BM_CosineAndSine(benchmark::State& state, AngleFunction cos_fn, AngleFunction sin_fn,
                      float limit) {
  const std::vector<double> angles = FloatAngles(limit);
  size_t i = 0;
  for (auto _ : state) {
    const double a = angles[i++ & (angles.size() - 1)];
    benchmark::DoNotOptimize(cos_fn(a));
    benchmark::DoNotOptimize(sin_fn(a));
  }
}

double LibraryCos(double a) { return std::cos(a); }
double LibrarySin(double a) { return std::sin(a); }

BENCHMARK_CAPTURE(BM_CosineAndSine, own_up_to_4, Cosine, Sine, 4.0f);
BENCHMARK_CAPTURE(BM_CosineAndSine, library_up_to_4, LibraryCos, LibrarySin, 4.0f);
BENCHMARK_CAPTURE(BM_CosineAndSine, own_up_to_1e5, Cosine, Sine, 1e5f);
BENCHMARK_CAPTURE(BM_CosineAndSine, library_up_to_1e5, LibraryCos, LibrarySin, 1e5f);
BENCHMARK_CAPTURE(BM_CosineAndSine, own_up_to_1e30, Cosine, Sine, 1e30f);
BENCHMARK_CAPTURE(BM_CosineAndSine, library_up_to_1e30, LibraryCos, LibrarySin, 1e30f);

}  // namespace

BENCHMARK_MAIN();
