#include "image/pixel_image.h"

#include <algorithm>
#include <cstddef>
#include <new>

namespace {

// Word index of pixel (x, y) in the block of a width x height image. Computed
// in 64 bits so that no intermediate overflows an int32 whatever the image size.
inline ptrdiff_t PixelIndex(int32_t width, int32_t height, int32_t x, int32_t y) {
  return static_cast<ptrdiff_t>((int64_t(height) - 1 - y) * width + x);
}

// How many of the indices centre - r ... centre + r lie in 0 ... extent - 1.
inline uint64_t WindowSpan(int64_t centre, int64_t r, int64_t extent) {
  return uint64_t(std::min(centre + r, extent - 1) - std::max(centre - r, int64_t(0)) + 1);
}

// Adds or takes away one memory row's blue, green and red bytes to the running
// per-column sums (three per column).
void AddRowToColumnSums(const uint32_t* row, int64_t width, uint64_t* sums) {
  for (int64_t x = 0; x < width; ++x, sums += 3) {
    sums[0] += row[x] & 0xFF;
    sums[1] += (row[x] >> 8) & 0xFF;
    sums[2] += (row[x] >> 16) & 0xFF;
  }
}

void SubtractRowFromColumnSums(const uint32_t* row, int64_t width, uint64_t* sums) {
  for (int64_t x = 0; x < width; ++x, sums += 3) {
    sums[0] -= row[x] & 0xFF;
    sums[1] -= (row[x] >> 8) & 0xFF;
    sums[2] -= (row[x] >> 16) & 0xFF;
  }
}

}  // namespace

PixelImage::~PixelImage() { Release(); }

bool PixelImage::IsValid() const { return pixels != nullptr; }

void PixelImage::Release() {
  delete[] pixels;
  pixels = nullptr;
}

bool PixelImage::Create(int32_t width, int32_t height) {
  Release();
  // A size that is not positive, or whose byte size does not fit the 32-bit
  // biSizeImage field, gets no block. The header is cleared so that no stale
  // size stays paired with a missing block. (w * h is compared against
  // UINT32_MAX / 4 so that the test itself cannot overflow.)
  const bool sizeFits = width > 0 && height > 0 &&
                        int64_t(width) * height <= int64_t(UINT32_MAX / 4);
  if (sizeFits) pixels = new (std::nothrow) uint32_t[size_t(width) * size_t(height)];
  if (pixels == nullptr) {
    biSize = 0;
    biWidth = biHeight = 0;
    biPlanes = biBitCount = 0;
    biCompression = biSizeImage = 0;
    biXPelsPerMeter = biYPelsPerMeter = 0;
    biClrUsed = biClrImportant = 0;
    return false;
  }
  biSize = 40;
  biWidth = width;
  biHeight = height;
  biPlanes = 1;
  biBitCount = 32;
  biCompression = 0;
  biSizeImage = uint32_t(width) * uint32_t(height) * 4u;
  biXPelsPerMeter = 0;
  biYPelsPerMeter = 0;
  biClrUsed = 0;
  biClrImportant = 0;
  return true;
}

uint32_t* PixelImage::PixelAt(int32_t x, int32_t y) {
  if (pixels == nullptr || x < 0 || x >= biWidth || y < 0 || y >= biHeight) return nullptr;
  return pixels + PixelIndex(biWidth, biHeight, x, y);
}

uint32_t* PixelImage::PixelAtUnchecked(int32_t x, int32_t y) {
  return pixels + PixelIndex(biWidth, biHeight, x, y);
}

void PixelImage::Fill(uint32_t colour, const Rect* rect) {
  if (pixels == nullptr) return;
  if (rect == nullptr) {
    std::fill_n(pixels, size_t(biWidth) * size_t(biHeight), colour);
    return;
  }
  // The part of the rectangle outside the image is dropped, so that a
  // rectangle reaching past an edge never writes outside the block.
  const int32_t left = std::max(rect->left, int32_t(0));
  const int32_t top = std::max(rect->top, int32_t(0));
  const int32_t right = std::min(rect->right, biWidth);
  const int32_t bottom = std::min(rect->bottom, biHeight);
  if (right <= left || bottom <= top) return;
  for (int32_t y = top; y < bottom; ++y)
    std::fill_n(pixels + PixelIndex(biWidth, biHeight, left, y), size_t(right - left), colour);
}

void PixelImage::SetPixel(int32_t x, int32_t y, uint32_t colour) {
  if (uint32_t* p = PixelAt(x, y)) *p = colour;
}

// Every output pixel is the truncated mean of the window samples inside the
// image, each channel summed as an exact integer. Because the sums are exact,
// a sliding window gives the same bytes as visiting all (2r + 1)^2 samples of
// every window, at a cost per pixel that does not grow with the radius:
// columnSums holds, per column, the channel sums over the rows of the current
// row window, and each row is then swept with a running sum over columns.
// The window is symmetric in y, so it is walked in memory-row order. Every
// sample is read from the old block; the new block replaces it only when
// complete. A negative radius, an image without a block or a failed
// allocation leave the image unchanged.
void PixelImage::BoxFilter(int32_t radius) {
  if (pixels == nullptr || radius < 0) return;
  const int64_t width = biWidth;
  const int64_t height = biHeight;
  const size_t count = size_t(width) * size_t(height);
  uint32_t* filtered = new (std::nothrow) uint32_t[count];
  // Three channel sums per column. The sums are 64-bit: a window of a large
  // image holds up to 255 * width * height.
  uint64_t* columnSums = new (std::nothrow) uint64_t[size_t(width) * 3];
  if (filtered == nullptr || columnSums == nullptr) {
    delete[] filtered;
    delete[] columnSums;
    return;
  }

  std::fill_n(columnSums, size_t(width) * 3, uint64_t(0));
  const int64_t r = radius;
  for (int64_t row = 0; row <= std::min(r, height - 1); ++row)
    AddRowToColumnSums(pixels + row * width, width, columnSums);

  for (int64_t row = 0; row < height; ++row) {
    if (row > 0) {
      if (row + r < height) AddRowToColumnSums(pixels + (row + r) * width, width, columnSums);
      if (row - 1 - r >= 0)
        SubtractRowFromColumnSums(pixels + (row - 1 - r) * width, width, columnSums);
    }
    const uint64_t rowsCounted = WindowSpan(row, r, height);

    uint64_t blue = 0, green = 0, red = 0;
    for (int64_t x = 0; x <= std::min(r, width - 1); ++x) {
      blue += columnSums[3 * x];
      green += columnSums[3 * x + 1];
      red += columnSums[3 * x + 2];
    }
    uint32_t* dst = filtered + row * width;
    for (int64_t x = 0; x < width; ++x) {
      if (x > 0) {
        if (x + r < width) {
          blue += columnSums[3 * (x + r)];
          green += columnSums[3 * (x + r) + 1];
          red += columnSums[3 * (x + r) + 2];
        }
        if (x - 1 - r >= 0) {
          blue -= columnSums[3 * (x - 1 - r)];
          green -= columnSums[3 * (x - 1 - r) + 1];
          red -= columnSums[3 * (x - 1 - r) + 2];
        }
      }
      const uint64_t n = rowsCounted * WindowSpan(x, r, width);
      dst[x] = 0xFF000000u | uint32_t(red / n) << 16 | uint32_t(green / n) << 8 |
               uint32_t(blue / n);
    }
  }

  delete[] columnSums;
  delete[] pixels;
  pixels = filtered;
}
