// The image steps of a bake after shading: the radius-1 box filter the filter
// option applies, and the encoding of the result as a BMP file in memory.
#include <benchmark/benchmark.h>

#include <random>

#include "image/bmp_file.h"
#include "image/pixel_image.h"

namespace {

void FillRandom(PixelImage& image) {
  std::mt19937 random(1);
  for (int32_t y = 0; y < image.biHeight; ++y)
    for (int32_t x = 0; x < image.biWidth; ++x) image.SetPixel(x, y, uint32_t(random()));
}

void BM_BoxFilter(benchmark::State& state) {
  const int32_t size = int32_t(state.range(0));
  const int32_t radius = int32_t(state.range(1));
  PixelImage image;
  if (!image.Create(size, size)) {
    state.SkipWithError("no pixel block");
    return;
  }
  FillRandom(image);
  for (auto _ : state) {
    image.BoxFilter(radius);
    benchmark::DoNotOptimize(image.pixels);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(size) * size);
}
BENCHMARK(BM_BoxFilter)->ArgsProduct({{64, 512, 2048}, {1}})->Args({512, 8});

void BM_EncodeBmp(benchmark::State& state) {
  const int32_t size = int32_t(state.range(0));
  PixelImage image;
  if (!image.Create(size, size)) {
    state.SkipWithError("no pixel block");
    return;
  }
  FillRandom(image);
  for (auto _ : state) {
    BmpImageFile* file = image.EncodeBmp();
    benchmark::DoNotOptimize(file);
    FreeBmpImageFile(file);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(size) * size);
}
BENCHMARK(BM_EncodeBmp)->Arg(64)->Arg(512)->Arg(2048);

}  // namespace

BENCHMARK_MAIN();
