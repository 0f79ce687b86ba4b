// The baked picture: width x height 32-bit pixels described by a DIB info
// header and stored bottom-up. A pixel word is A<<24 | R<<16 | G<<8 | B, so its
// bytes in memory are blue, green, red, alpha. Pixel (x, y) is the word at
// x + (height - y - 1) * width: y = 0 is the last row in memory and the top
// row of the written picture.
//
// The image is valid exactly when it holds a pixel block. Create fails, leaving
// the image without one and its header zero, on a failed allocation and on a
// size that is not positive (0 x 0 included) or whose byte size does not fit
// the 32-bit biSizeImage; Fill, SetPixel and BoxFilter then do nothing,
// PixelAt gives null and EncodeBmp null. Apart from PixelAtUnchecked, no
// operation reads or writes outside the block.
#pragma once

#include <cstdint>

struct BmpImageFile;

class PixelImage {
 public:
  PixelImage() = default;
  virtual ~PixelImage();
  PixelImage(const PixelImage&) = delete;
  PixelImage& operator=(const PixelImage&) = delete;

  virtual bool IsValid() const;
  void Release();
  // Releases the block, then allocates width x height words (contents
  // undefined) and sets the header; false when the image stays without one.
  bool Create(int32_t width, int32_t height);
  // Null outside the image or when it is not valid.
  uint32_t* PixelAt(int32_t x, int32_t y);
  // The same address without any test; the caller guarantees the range.
  uint32_t* PixelAtUnchecked(int32_t x, int32_t y);
  struct Rect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
  };
  // Without a rectangle every pixel; with one, its part inside the image (the
  // rest is ignored), nothing when it is empty.
  void Fill(uint32_t colour, const Rect* rect = nullptr);
  // Ignores coordinates outside the image.
  void SetPixel(int32_t x, int32_t y, uint32_t colour);
  // Each pixel becomes the truncated per-channel mean of the samples of its
  // (2r + 1) x (2r + 1) window that lie inside the image, alpha 255, all read
  // from the unfiltered picture. A negative radius, an image without a block
  // or a failed allocation leave the image unchanged.
  void BoxFilter(int32_t radius);
  // The whole image as a 24-bit BMP file in memory (bmp_file.h); null when
  // the image is not valid, its file would exceed the 32-bit bfSize, or the
  // block cannot be allocated. Free with FreeBmpImageFile.
  BmpImageFile* EncodeBmp() const;

  // BITMAPINFOHEADER, in its field order.
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
  uint32_t* pixels = nullptr;  // owned; none when the image is not valid
};
