#include "image/pixel_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

uint32_t Colour(uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
  return alpha << 24 | red << 16 | green << 8 | blue;
}

// The four bytes of a pixel word as they lie in memory: blue, green, red,
// alpha on the little-endian machines the plug-in runs on.
void PixelBytes(const uint32_t* pixel, uint8_t (&bytes)[4]) { std::memcpy(bytes, pixel, 4); }

// A plain copy of the picture, indexed [y][x] in picture coordinates.
using Picture = std::vector<std::vector<uint32_t>>;

Picture Snapshot(PixelImage& image) {
  Picture picture(size_t(image.biHeight), std::vector<uint32_t>(size_t(image.biWidth)));
  for (int32_t y = 0; y < image.biHeight; ++y)
    for (int32_t x = 0; x < image.biWidth; ++x) picture[y][x] = *image.PixelAt(x, y);
  return picture;
}

// The box filter written out sample by sample from its definition, reading
// the bytes of each word as they lie in memory: every (2r + 1)^2 window
// sample inside the picture is counted and summed, the mean is truncated.
Picture ReferenceBoxFilter(const Picture& in, int radius) {
  const int height = int(in.size());
  const int width = int(in[0].size());
  Picture out = in;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint64_t sum[3] = {0, 0, 0};
      uint64_t n = 0;
      for (int64_t dy = -radius; dy <= radius; ++dy) {
        for (int64_t dx = -radius; dx <= radius; ++dx) {
          const int64_t sx = x + dx, sy = y + dy;
          if (sx < 0 || sx >= width || sy < 0 || sy >= height) continue;
          uint8_t bytes[4];
          PixelBytes(&in[sy][sx], bytes);
          for (int c = 0; c < 3; ++c) sum[c] += bytes[c];
          ++n;
        }
      }
      const uint8_t result[4] = {uint8_t(sum[0] / n), uint8_t(sum[1] / n), uint8_t(sum[2] / n),
                                 255};
      std::memcpy(&out[y][x], result, 4);
    }
  }
  return out;
}

void FillRandom(PixelImage& image, uint32_t seed) {
  std::mt19937 random(seed);
  for (int32_t y = 0; y < image.biHeight; ++y)
    for (int32_t x = 0; x < image.biWidth; ++x) image.SetPixel(x, y, uint32_t(random()));
}

void ExpectPicture(PixelImage& image, const Picture& expected) {
  ASSERT_TRUE(image.IsValid());
  for (int32_t y = 0; y < image.biHeight; ++y)
    for (int32_t x = 0; x < image.biWidth; ++x)
      ASSERT_EQ(*image.PixelAt(x, y), expected[y][x]) << "pixel " << x << "," << y;
}

void ExpectHeader(const PixelImage& image, uint32_t size, int32_t width, int32_t height,
                  uint16_t planes, uint16_t bitCount, uint32_t sizeImage) {
  EXPECT_EQ(image.biSize, size);
  EXPECT_EQ(image.biWidth, width);
  EXPECT_EQ(image.biHeight, height);
  EXPECT_EQ(image.biPlanes, planes);
  EXPECT_EQ(image.biBitCount, bitCount);
  EXPECT_EQ(image.biCompression, 0u);
  EXPECT_EQ(image.biSizeImage, sizeImage);
  EXPECT_EQ(image.biXPelsPerMeter, 0);
  EXPECT_EQ(image.biYPelsPerMeter, 0);
  EXPECT_EQ(image.biClrUsed, 0u);
  EXPECT_EQ(image.biClrImportant, 0u);
}

TEST(PixelImage, NewImageHasNoBlockAndZeroHeader) {
  PixelImage image;
  EXPECT_FALSE(image.IsValid());
  EXPECT_EQ(image.pixels, nullptr);
  ExpectHeader(image, 0, 0, 0, 0, 0, 0);
}

TEST(PixelImage, OperationsOnAnImageWithoutBlockDoNothing) {
  PixelImage image;
  image.Fill(0xFF00FF00u);
  const PixelImage::Rect rect{0, 0, 1, 1};
  image.Fill(0xFF00FF00u, &rect);
  image.SetPixel(0, 0, 0xFFFFFFFFu);
  image.BoxFilter(1);
  EXPECT_EQ(image.PixelAt(0, 0), nullptr);
  EXPECT_FALSE(image.IsValid());
  EXPECT_EQ(image.EncodeBmp(), nullptr);
}

TEST(PixelImage, CreateSetsTheInfoHeader) {
  PixelImage image;
  ASSERT_TRUE(image.Create(7, 3));
  EXPECT_TRUE(image.IsValid());
  EXPECT_NE(image.pixels, nullptr);
  // 40-byte info header, one plane, 32 bits, 7 * 3 * 4 = 84 bytes.
  ExpectHeader(image, 40, 7, 3, 1, 32, 84);
}

TEST(PixelImage, CreateReplacesTheBlockAndReleaseKeepsTheHeader) {
  PixelImage image;
  ASSERT_TRUE(image.Create(2, 2));
  ASSERT_TRUE(image.Create(5, 4));
  ExpectHeader(image, 40, 5, 4, 1, 32, 80);
  image.Fill(0x12345678u);
  EXPECT_EQ(*image.PixelAt(4, 3), 0x12345678u);  // the new block has all 20 words
  image.Release();
  EXPECT_FALSE(image.IsValid());
  EXPECT_EQ(image.pixels, nullptr);
  ExpectHeader(image, 40, 5, 4, 1, 32, 80);
  image.Release();  // a second release is harmless
  EXPECT_FALSE(image.IsValid());
}

struct BadSize {
  int32_t width, height;
  const char* why;
};

TEST(PixelImage, CreateRefusesSizesWithoutABlock) {
  const BadSize cases[] = {
      {0, 0, "empty: the bake's size 0"},
      {0, 5, "no columns"},
      {5, 0, "no rows"},
      {-1, 3, "negative width"},
      {3, -1, "negative height"},
      {INT32_MIN, INT32_MIN, "most negative"},
      {32768, 32768, "2^32 bytes overflow biSizeImage"},
      {65536, 16384, "2^32 bytes overflow biSizeImage"},
      {INT32_MAX, INT32_MAX, "w * h * 4 does not even fit 64 bits"},
      {INT32_MAX, 2, "the product overflows int32"},
  };
  for (const BadSize& c : cases) {
    PixelImage image;
    ASSERT_TRUE(image.Create(4, 4));
    EXPECT_FALSE(image.Create(c.width, c.height)) << c.why;
    EXPECT_FALSE(image.IsValid()) << c.why;
    EXPECT_EQ(image.pixels, nullptr) << c.why;
    // No stale size stays paired with the missing block.
    ExpectHeader(image, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(image.PixelAt(0, 0), nullptr) << c.why;
    image.Fill(0u);
    image.SetPixel(0, 0, 0u);
    image.BoxFilter(1);
    EXPECT_FALSE(image.IsValid()) << c.why;
  }
}

TEST(PixelImage, PixelAtAddressesRowsBottomUp) {
  PixelImage image;
  ASSERT_TRUE(image.Create(4, 3));
  // Pixel (0, 0) is the first word of the last memory row: index (3 - 1) * 4.
  EXPECT_EQ(image.PixelAt(0, 0), image.pixels + 8);
  EXPECT_EQ(image.PixelAt(3, 2), image.pixels + 3);
  EXPECT_EQ(image.PixelAt(1, 1), image.pixels + 5);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      EXPECT_EQ(image.PixelAt(x, y), image.pixels + x + (3 - y - 1) * 4);
      EXPECT_EQ(image.PixelAtUnchecked(x, y), image.PixelAt(x, y));
    }
}

TEST(PixelImage, PixelAtOutsideIsNull) {
  PixelImage image;
  ASSERT_TRUE(image.Create(4, 3));
  const int32_t outside[][2] = {{4, 0},  {0, 3},         {-1, 0},        {0, -1},
                                {4, 3},  {-1, -1},       {INT32_MAX, 0}, {0, INT32_MAX},
                                {INT32_MIN, 0}, {0, INT32_MIN}};
  for (const auto& p : outside) EXPECT_EQ(image.PixelAt(p[0], p[1]), nullptr) << p[0] << "," << p[1];
}

TEST(PixelImage, FillWithoutRectangleSetsEveryWord) {
  PixelImage image;
  ASSERT_TRUE(image.Create(5, 3));
  image.Fill(0xFF00FF00u);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(image.pixels[i], 0xFF00FF00u) << i;
}

struct FillCase {
  PixelImage::Rect rect;
  // Pixels expected to change: the rectangle's part inside the 5 x 4 image.
  int32_t left, top, right, bottom;
  const char* why;
};

TEST(PixelImage, FillRectangleSetsItsPartInsideTheImage) {
  const FillCase cases[] = {
      {{1, 1, 4, 3}, 1, 1, 4, 3, "inside"},
      {{0, 0, 5, 4}, 0, 0, 5, 4, "the whole image"},
      {{2, 3, 3, 4}, 2, 3, 3, 4, "one pixel, bottom row"},
      {{2, 2, 2, 4}, 0, 0, 0, 0, "zero width"},
      {{1, 3, 4, 3}, 0, 0, 0, 0, "zero height"},
      {{4, 3, 1, 1}, 0, 0, 0, 0, "reversed"},
      {{-2, -1, 2, 2}, 0, 0, 2, 2, "clipped at the top left"},
      {{3, 2, 9, 7}, 3, 2, 5, 4, "clipped at the bottom right"},
      {{-5, -5, 50, 50}, 0, 0, 5, 4, "covering the image"},
      {{6, 0, 9, 4}, 0, 0, 0, 0, "wholly right of the image"},
      {{0, -3, 5, 0}, 0, 0, 0, 0, "wholly above the image"},
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0, 0, 5, 4, "extreme"},
  };
  for (const FillCase& c : cases) {
    PixelImage image;
    ASSERT_TRUE(image.Create(5, 4));
    image.Fill(0x11111111u);
    image.Fill(0xFFABCDEFu, &c.rect);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 5; ++x) {
        const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
        EXPECT_EQ(*image.PixelAt(x, y), inside ? 0xFFABCDEFu : 0x11111111u)
            << c.why << " at " << x << "," << y;
      }
  }
}

TEST(PixelImage, SetPixelWritesOneWordAndIgnoresOutside) {
  PixelImage image;
  ASSERT_TRUE(image.Create(3, 2));
  image.Fill(0u);
  const int32_t outside[][2] = {{3, 0}, {0, 2}, {-1, 0}, {0, -1}, {INT32_MIN, INT32_MAX}};
  for (const auto& p : outside) image.SetPixel(p[0], p[1], 0xFFFFFFFFu);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(image.pixels[i], 0u) << i;
  image.SetPixel(2, 0, 0xCAFEBABEu);
  // (2, 0) is index 2 + (2 - 0 - 1) * 3 = 5.
  for (int i = 0; i < 6; ++i) EXPECT_EQ(image.pixels[i], i == 5 ? 0xCAFEBABEu : 0u) << i;
}

TEST(PixelImageBoxFilter, RadiusZeroKeepsColoursAndMakesAlphaOpaque) {
  PixelImage image;
  ASSERT_TRUE(image.Create(6, 5));
  FillRandom(image, 7);
  Picture expected = Snapshot(image);
  for (auto& row : expected)
    for (uint32_t& p : row) p |= 0xFF000000u;
  image.BoxFilter(0);
  ExpectPicture(image, expected);
}

TEST(PixelImageBoxFilter, OnePixelKeepsItsColour) {
  PixelImage image;
  ASSERT_TRUE(image.Create(1, 1));
  image.SetPixel(0, 0, Colour(0x12, 200, 100, 50));
  image.BoxFilter(1);
  EXPECT_EQ(*image.PixelAt(0, 0), Colour(255, 200, 100, 50));
}

TEST(PixelImageBoxFilter, UniformImageStaysUniform) {
  PixelImage image;
  ASSERT_TRUE(image.Create(7, 4));
  image.Fill(Colour(0, 201, 13, 99));
  image.BoxFilter(1);
  for (int i = 0; i < 28; ++i) EXPECT_EQ(image.pixels[i], Colour(255, 201, 13, 99)) << i;
}

TEST(PixelImageBoxFilter, WhiteCentreOfThreeByThree) {
  PixelImage image;
  ASSERT_TRUE(image.Create(3, 3));
  image.Fill(0xFF000000u);
  image.SetPixel(1, 1, 0xFFFFFFFFu);
  image.BoxFilter(1);
  // Every window holds the centre; corners count 4 samples (255 / 4 = 63),
  // edge middles 6 (255 / 6 = 42), the centre 9 (255 / 9 = 28).
  const uint32_t corner = Colour(255, 63, 63, 63);
  const uint32_t edge = Colour(255, 42, 42, 42);
  const uint32_t centre = Colour(255, 28, 28, 28);
  const uint32_t expected[3][3] = {{corner, edge, corner}, {edge, centre, edge}, {corner, edge, corner}};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(*image.PixelAt(x, y), expected[y][x]) << x << "," << y;
}

TEST(PixelImageBoxFilter, ChannelsAreSummedSeparatelyAndAlphaIgnored) {
  PixelImage image;
  ASSERT_TRUE(image.Create(2, 1));
  image.SetPixel(0, 0, Colour(0x00, 255, 0, 1));
  image.SetPixel(1, 0, Colour(0xFF, 0, 255, 2));
  image.BoxFilter(1);
  // Both windows hold both pixels: red 255 / 2, green 255 / 2, blue 3 / 2.
  EXPECT_EQ(*image.PixelAt(0, 0), Colour(255, 127, 127, 1));
  EXPECT_EQ(*image.PixelAt(1, 0), Colour(255, 127, 127, 1));
}

TEST(PixelImageBoxFilter, LeftEdgeSeesNothingOfTheRightEdge) {
  PixelImage image;
  ASSERT_TRUE(image.Create(5, 3));
  image.Fill(0xFF000000u);
  for (int32_t y = 0; y < 3; ++y) image.SetPixel(4, y, 0xFFFFFFFFu);
  image.BoxFilter(1);
  for (int32_t y = 0; y < 3; ++y) {
    // Windows of columns 0 to 2 end at column 3: no white sample.
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(*image.PixelAt(x, y), 0xFF000000u) << x << "," << y;
    EXPECT_NE(*image.PixelAt(3, y), 0xFF000000u) << y;
  }
}

// The sample count of each pixel's radius-1 window, seen through the filter:
// a picture whose only white pixel is p gives 255 / n at p.
TEST(PixelImageBoxFilter, RadiusOneCountsFourSixOrNineSamples) {
  const int32_t sizes[][2] = {{2, 2}, {2, 3}, {5, 4}, {4, 6}};
  for (const auto& size : sizes) {
    const int32_t width = size[0], height = size[1];
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        PixelImage image;
        ASSERT_TRUE(image.Create(width, height));
        image.Fill(0u);
        image.SetPixel(x, y, 0x00FFFFFFu);
        image.BoxFilter(1);
        const bool onVerticalEdge = x == 0 || x == width - 1;
        const bool onHorizontalEdge = y == 0 || y == height - 1;
        const uint32_t n = onVerticalEdge && onHorizontalEdge ? 4 : onVerticalEdge || onHorizontalEdge ? 6 : 9;
        const uint32_t mean = 255 / n;
        EXPECT_EQ(*image.PixelAt(x, y), Colour(255, mean, mean, mean))
            << width << "x" << height << " at " << x << "," << y << ", expected n " << n;
      }
  }
}

TEST(PixelImageBoxFilter, MatchesSampleBySampleReferenceOnRandomImages) {
  const int32_t sizes[][2] = {{1, 1}, {1, 6}, {6, 1}, {2, 2}, {3, 7}, {6, 5}, {17, 13}, {40, 3}};
  const int32_t radii[] = {0, 1, 2, 3, 5, 20};
  uint32_t seed = 1;
  for (const auto& size : sizes)
    for (int32_t radius : radii) {
      PixelImage image;
      ASSERT_TRUE(image.Create(size[0], size[1]));
      FillRandom(image, seed++);
      const Picture expected = ReferenceBoxFilter(Snapshot(image), radius);
      image.BoxFilter(radius);
      SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " radius " << radius);
      ExpectPicture(image, expected);
      ExpectHeader(image, 40, size[0], size[1], 1, 32, uint32_t(size[0] * size[1] * 4));
    }
}

TEST(PixelImageBoxFilter, HugeRadiusAveragesTheWholeImage) {
  PixelImage image;
  ASSERT_TRUE(image.Create(4, 3));
  FillRandom(image, 99);
  uint32_t sum[3] = {0, 0, 0};
  for (int i = 0; i < 12; ++i) {
    uint8_t bytes[4];
    PixelBytes(&image.pixels[i], bytes);
    for (int c = 0; c < 3; ++c) sum[c] += bytes[c];
  }
  const uint32_t mean = Colour(255, sum[2] / 12, sum[1] / 12, sum[0] / 12);
  image.BoxFilter(INT32_MAX);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(image.pixels[i], mean) << i;
}

TEST(PixelImageBoxFilter, NegativeRadiusLeavesTheImageUnchanged) {
  PixelImage image;
  ASSERT_TRUE(image.Create(3, 2));
  FillRandom(image, 5);
  const Picture before = Snapshot(image);
  const uint32_t* block = image.pixels;
  image.BoxFilter(-1);
  image.BoxFilter(INT32_MIN);
  EXPECT_EQ(image.pixels, block);
  ExpectPicture(image, before);
}

}  // namespace
