// The baked picture: width x height 32-bit pixels described by a DIB info
// header and stored bottom-up. A pixel word is A<<24 | R<<16 | G<<8 | B, so its
// bytes in memory are blue, green, red, alpha. Pixel (x, y) is the word at
// x + (height - y - 1) * width: y = 0 is the last row in memory and the top
// row of the written picture.
//
// The image is valid exactly when it holds a pixel block. A failed allocation
// leaves it without one; Fill and SetPixel then do nothing.
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
  bool Create(int32_t width, int32_t height);
  uint32_t* PixelAt(int32_t x, int32_t y);
  uint32_t* PixelAtUnchecked(int32_t x, int32_t y);
  struct Rect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
  };
  void Fill(uint32_t colour, const Rect* rect = nullptr);
  void SetPixel(int32_t x, int32_t y, uint32_t colour);
  void BoxFilter(int32_t radius);
  // The whole image as a 24-bit BMP file in memory; null when the image is
  // not valid or the block cannot be allocated. Free with FreeBmpImageFile.
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
