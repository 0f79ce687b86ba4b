#include "image/bmp_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "image/pixel_image.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

uint32_t Colour(uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
  return alpha << 24 | red << 16 | green << 8 | blue;
}

// Frees the encoded block when the test ends, whatever it asserts.
struct EncodedFile {
  explicit EncodedFile(const PixelImage& image) : file(image.EncodeBmp()) {}
  ~EncodedFile() { FreeBmpImageFile(file); }
  Bytes bytes() const {
    const uint8_t* begin = BmpFileBytes(file);
    return Bytes(begin, begin + BmpFileSize(file));
  }
  BmpImageFile* file;
};

void ExpectBytes(const Bytes& actual, size_t offset, const Bytes& expected, const char* what) {
  ASSERT_GE(actual.size(), offset + expected.size()) << what;
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(int(actual[offset + i]), int(expected[i])) << what << ": byte " << offset + i;
}

// The 6 x 5 motif: every pixel a different colour, each channel a different
// function of x and y, alpha varying too, so that a flip, a transpose, a
// channel swap or a padding error each moves some byte.
uint32_t MotifColour(int32_t x, int32_t y) {
  return Colour(uint32_t(17 * x + 3 * y), uint32_t(10 + 40 * x + y), uint32_t(200 - 30 * y + x),
                uint32_t(1 + x + 6 * y));
}

void PaintMotif(PixelImage& image) {
  for (int32_t y = 0; y < image.biHeight; ++y)
    for (int32_t x = 0; x < image.biWidth; ++x) image.SetPixel(x, y, MotifColour(x, y));
}

// A 54-byte header written out by hand, field by field, little-endian.
Bytes HandHeader(uint32_t fileSize, uint32_t width, uint32_t height) {
  auto le32 = [](uint32_t v) {
    return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  };
  Bytes h = {'B', 'M'};
  auto append = [&h](const Bytes& b) { h.insert(h.end(), b.begin(), b.end()); };
  append(le32(fileSize));
  append({0, 0, 0, 0});    // bfReserved1, bfReserved2
  append({54, 0, 0, 0});   // bfOffBits
  append({40, 0, 0, 0});   // biSize
  append(le32(width));
  append(le32(height));
  append({1, 0});          // biPlanes
  append({24, 0});         // biBitCount
  append({0, 0, 0, 0});    // biCompression
  append({0, 0, 0, 0});    // biSizeImage
  append({121, 0, 0, 0});  // biXPelsPerMeter
  append({121, 0, 0, 0});  // biYPelsPerMeter
  append({0, 0, 0, 0});    // biClrUsed
  append({0, 0, 0, 0});    // biClrImportant
  return h;
}

// A small BMP reader, independent of the encoder: checks the fields a 24-bit
// bottom-up file must have and returns its pixels as opaque colour words
// indexed [y][x], y = 0 the top row of the picture.
bool DecodeBmp(const Bytes& file, std::vector<std::vector<uint32_t>>& picture) {
  auto u16 = [&file](size_t at) { return uint32_t(file[at]) | uint32_t(file[at + 1]) << 8; };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return false;
  if (u32(2) != file.size() || u32(14) != 40 || u16(26) != 1 || u16(28) != 24 || u32(30) != 0)
    return false;
  const int32_t width = int32_t(u32(18)), height = int32_t(u32(22));
  const size_t offset = u32(10);
  if (width <= 0 || height <= 0) return false;
  const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
  if (offset + stride * size_t(height) != file.size()) return false;
  picture.assign(size_t(height), std::vector<uint32_t>(size_t(width)));
  for (int32_t y = 0; y < height; ++y) {
    const size_t row = offset + size_t(height - 1 - y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      const size_t at = row + 3 * size_t(x);
      picture[y][x] = Colour(255, file[at + 2], file[at + 1], file[at]);
    }
  }
  return true;
}

TEST(EncodeBmp, SixtyFourSquareHeaderIsExact) {
  PixelImage image;
  ASSERT_TRUE(image.Create(64, 64));
  image.Fill(0xFF00FF00u);
  EncodedFile encoded(image);
  ASSERT_NE(encoded.file, nullptr);
  // Row stride 64 * 3 = 192, already a multiple of 4; 54 + 192 * 64 = 12342,
  // which is 0x3036.
  EXPECT_EQ(BmpFileSize(encoded.file), 12342);
  const Bytes expected = {
      0x42, 0x4D,              // "BM"
      0x36, 0x30, 0x00, 0x00,  // bfSize 12342
      0, 0, 0, 0,              // reserved
      54, 0, 0, 0,             // bfOffBits
      40, 0, 0, 0,             // biSize
      64, 0, 0, 0,             // biWidth
      64, 0, 0, 0,             // biHeight
      1, 0,                    // biPlanes
      24, 0,                   // biBitCount
      0, 0, 0, 0,              // biCompression
      0, 0, 0, 0,              // biSizeImage
      121, 0, 0, 0,            // biXPelsPerMeter
      121, 0, 0, 0,            // biYPelsPerMeter
      0, 0, 0, 0,              // biClrUsed
      0, 0, 0, 0,              // biClrImportant
  };
  ASSERT_EQ(expected.size(), 54u);
  ExpectBytes(encoded.bytes(), 0, expected, "64x64 header");
  ExpectBytes(encoded.bytes(), 0, HandHeader(12342, 64, 64), "64x64 header by fields");
}

TEST(EncodeBmp, FiveByTwoPadsEachRowToSixteenBytes) {
  PixelImage image;
  ASSERT_TRUE(image.Create(5, 2));
  image.Fill(0xFFFFFFFFu);  // pixel bytes 0xFF, so a missing zero pad shows
  EncodedFile encoded(image);
  ASSERT_NE(encoded.file, nullptr);
  // 5 * 3 = 15 pixel bytes and one pad byte per row; 54 + 16 * 2 = 86.
  EXPECT_EQ(BmpFileSize(encoded.file), 86);
  const Bytes bytes = encoded.bytes();
  ASSERT_EQ(bytes.size(), 86u);
  const Bytes header = {
      0x42, 0x4D,     // "BM"
      86, 0, 0, 0,    // bfSize
      0, 0, 0, 0,     // reserved
      54, 0, 0, 0,    // bfOffBits
      40, 0, 0, 0,    // biSize
      5, 0, 0, 0,     // biWidth
      2, 0, 0, 0,     // biHeight
      1, 0,           // biPlanes
      24, 0,          // biBitCount
      0, 0, 0, 0,     // biCompression
      0, 0, 0, 0,     // biSizeImage
      121, 0, 0, 0,   // biXPelsPerMeter
      121, 0, 0, 0,   // biYPelsPerMeter
      0, 0, 0, 0,     // biClrUsed
      0, 0, 0, 0,     // biClrImportant
  };
  ASSERT_EQ(header.size(), 54u);
  ExpectBytes(bytes, 0, header, "5x2 header");
  const Bytes row = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                     0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  ExpectBytes(bytes, 54, row, "first row");
  ExpectBytes(bytes, 70, row, "second row");
}

TEST(EncodeBmp, GreenFillEncodesBlueGreenRedBytes) {
  PixelImage image;
  ASSERT_TRUE(image.Create(3, 3));
  image.Fill(0xFF00FF00u);
  EncodedFile encoded(image);
  ASSERT_NE(encoded.file, nullptr);
  const Bytes bytes = encoded.bytes();
  ASSERT_EQ(bytes.size(), 54u + 12 * 3);  // 9 pixel bytes padded to 12
  for (int k = 0; k < 3; ++k)
    ExpectBytes(bytes, 54 + 12 * size_t(k), {0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0, 0, 0},
                "green row");
}

TEST(EncodeBmp, FirstFileRowIsTheBottomImageRow) {
  PixelImage image;
  ASSERT_TRUE(image.Create(4, 3));  // stride 12, no pad
  image.Fill(Colour(255, 0, 0x80, 0));
  for (int32_t x = 0; x < 4; ++x) {
    image.SetPixel(x, 2, Colour(255, 0xFF, 0, 0));  // y = height - 1: red
    image.SetPixel(x, 0, Colour(255, 0, 0, 0xFF));  // y = 0: blue
  }
  EncodedFile encoded(image);
  ASSERT_NE(encoded.file, nullptr);
  const Bytes bytes = encoded.bytes();
  ASSERT_EQ(bytes.size(), 54u + 36);
  ExpectBytes(bytes, 54, {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF}, "file row 0 = y 2");
  ExpectBytes(bytes, 66, {0, 0x80, 0, 0, 0x80, 0, 0, 0x80, 0, 0, 0x80, 0}, "file row 1 = y 1");
  ExpectBytes(bytes, 78, {0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0}, "file row 2 = y 0");
}

TEST(EncodeBmp, AsymmetricMotifAtOddSize) {
  PixelImage image;
  ASSERT_TRUE(image.Create(6, 5));
  PaintMotif(image);
  EncodedFile encoded(image);
  ASSERT_NE(encoded.file, nullptr);
  // 6 * 3 = 18 pixel bytes padded to 20; 54 + 20 * 5 = 154.
  const Bytes bytes = encoded.bytes();
  ASSERT_EQ(bytes.size(), 154u);
  ExpectBytes(bytes, 0, HandHeader(154, 6, 5), "6x5 header");
  // The file laid out from the format's own rule: file row k holds picture
  // row 4 - k, pixel x at 3x as blue, green, red, then two zero bytes.
  Bytes rows;
  for (int32_t k = 0; k < 5; ++k) {
    const int32_t y = 4 - k;
    for (int32_t x = 0; x < 6; ++x) {
      const uint32_t c = MotifColour(x, y);
      rows.push_back(uint8_t(c));
      rows.push_back(uint8_t(c >> 8));
      rows.push_back(uint8_t(c >> 16));
    }
    rows.push_back(0);
    rows.push_back(0);
  }
  ExpectBytes(bytes, 54, rows, "6x5 pixel rows");
}

TEST(EncodeBmp, InvalidImageGivesNull) {
  PixelImage image;
  EXPECT_EQ(image.EncodeBmp(), nullptr);
  ASSERT_FALSE(image.Create(0, 0));
  EXPECT_EQ(image.EncodeBmp(), nullptr);
  // The null block is a valid argument of the accessors.
  EXPECT_EQ(BmpFileSize(nullptr), 0);
  FreeBmpImageFile(nullptr);
}

TEST(EncodeBmp, FileBeyondThirtyTwoBitSizeGivesNull) {
  // A header claiming 30000 x 30000 over a one-pixel block: its file would be
  // 54 + 90000 * 30000 bytes, more than bfSize holds, so the encoder must stop
  // before reading any pixel.
  PixelImage image;
  ASSERT_TRUE(image.Create(1, 1));
  image.biWidth = 30000;
  image.biHeight = 30000;
  EXPECT_EQ(image.EncodeBmp(), nullptr);
  image.biWidth = 1;
  image.biHeight = 1;
}

// FileStream against real files in a fresh folder of the test's own.
class FileStreamTest : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    folder_ = fs::path(testing::TempDir()) /
              ("tamsink_bmp_" + std::to_string(seed()) + "_" + std::to_string(seed()));
    ASSERT_TRUE(fs::create_directories(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  static Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static void WriteFileDirectly(const std::string& path, const Bytes& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
  }

  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
    return names;
  }

  fs::path folder_;
};

TEST_F(FileStreamTest, WritesTheBytesToANewFile) {
  const std::string path = PathOf("out.bmp");
  const Bytes data = {1, 2, 3, 0, 255, 'x'};
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write(data.data(), int32_t(data.size())), 6);
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ(ReadFile(path), data);
}

TEST_F(FileStreamTest, ReplacingALongerFileLeavesNoTail) {
  const std::string path = PathOf("out.bmp");
  WriteFileDirectly(path, Bytes(100, 'o'));
  const Bytes data = {'n', 'e', 'w'};
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write(data.data(), 3), 3);
  stream.Close();
  EXPECT_EQ(ReadFile(path), data);
}

TEST_F(FileStreamTest, OpeningTruncatesEvenWithoutAWrite) {
  const std::string path = PathOf("out.bmp");
  WriteFileDirectly(path, Bytes(10, 'o'));
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  stream.Close();
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(FileStreamTest, LeadingAsteriskIsDropped) {
  const std::string path = PathOf("star.bmp");
  FileStream stream;
  ASSERT_TRUE(stream.Open(("*" + path).c_str(), "w"));
  EXPECT_EQ(stream.Write("ab", 2), 2);
  stream.Close();
  EXPECT_EQ(ReadFile(path), (Bytes{'a', 'b'}));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"star.bmp"});
}

TEST_F(FileStreamTest, MissingFolderFailsAndCreatesNothing) {
  const std::string path = PathOf("missing/out.bmp");
  FileStream stream;
  EXPECT_FALSE(stream.Open(path.c_str(), "w"));
  // After the failed open, as the dialog calls them without testing Open.
  EXPECT_EQ(stream.Write("abc", 3), 0);
  EXPECT_TRUE(stream.Close());
  EXPECT_FALSE(fs::exists(PathOf("missing")));
  EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(FileStreamTest, FolderAsPathFails) {
  fs::create_directory(PathOf("sub"));
  FileStream stream;
  EXPECT_FALSE(stream.Open(PathOf("sub").c_str(), "w"));
  EXPECT_EQ(stream.Write("abc", 3), 0);
  EXPECT_TRUE(fs::is_directory(PathOf("sub")));
}

#ifndef _WIN32
// A named pipe that nobody reads from would block a plain open for ever; the
// bake must not hang on a path the user typed.
TEST_F(FileStreamTest, PipeWithoutReaderFailsAtOnce) {
  const std::string path = PathOf("pipe");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  FileStream stream;
  EXPECT_FALSE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write("abc", 3), 0);
}
#endif

TEST_F(FileStreamTest, BadPathsAndModesFailAndCreateNothing) {
  const std::string path = PathOf("out.bmp");
  struct Case {
    const char* path;
    const char* mode;
    const char* why;
  };
  const Case cases[] = {
      {nullptr, "w", "no path"},
      {"", "w", "empty path"},
      {"*", "w", "an asterisk alone"},
      {path.c_str(), nullptr, "no mode"},
      {path.c_str(), "", "empty mode"},
      {path.c_str(), "r", "reading"},
      {path.c_str(), "wb", "a mode other than w"},
      {path.c_str(), "a", "appending"},
  };
  // Relative names such as "*" would land in the working folder: make it ours
  // so that a file created by mistake is seen below.
  const fs::path previous = fs::current_path();
  fs::current_path(folder_);
  for (const Case& c : cases) {
    FileStream stream;
    EXPECT_FALSE(stream.Open(c.path, c.mode)) << c.why;
    EXPECT_EQ(stream.Write("abc", 3), 0) << c.why;
    EXPECT_TRUE(stream.Close()) << c.why;
  }
  fs::current_path(previous);
  EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(FileStreamTest, WriteWithoutDataOrLengthWritesNothing) {
  const std::string path = PathOf("out.bmp");
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write(nullptr, 5), 0);
  EXPECT_EQ(stream.Write("abc", 0), 0);
  EXPECT_EQ(stream.Write("abc", -1), 0);
  EXPECT_EQ(stream.Write("abc", INT32_MIN), 0);
  stream.Close();
  EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(FileStreamTest, WriteAndCloseWithoutOpenDoNothing) {
  FileStream stream;
  EXPECT_EQ(stream.Write("abc", 3), 0);
  EXPECT_TRUE(stream.Close());
  EXPECT_TRUE(stream.Close());
}

TEST_F(FileStreamTest, WritesAfterOneAnotherAppend) {
  const std::string path = PathOf("out.bmp");
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write("ab", 2), 2);
  EXPECT_EQ(stream.Write("cd", 2), 2);
  stream.Close();
  EXPECT_EQ(ReadFile(path), (Bytes{'a', 'b', 'c', 'd'}));
}

// An existing file is held unshared from Open to Close: a second open of it
// fails meanwhile. The file keeps its old content until the holder's Close
// replaces it whole (atomic_write_test has the rest of that story).
TEST_F(FileStreamTest, FileInUseCannotBeOpenedAgain) {
  const std::string path = PathOf("out.bmp");
  WriteFileDirectly(path, Bytes{'o', 'l', 'd'});
  FileStream holder;
  ASSERT_TRUE(holder.Open(path.c_str(), "w"));
  EXPECT_EQ(holder.Write("abc", 3), 3);
  FileStream other;
  EXPECT_FALSE(other.Open(path.c_str(), "w"));
  EXPECT_EQ(other.Write("xyz", 3), 0);
  EXPECT_EQ(ReadFile(path), (Bytes{'o', 'l', 'd'}));
  holder.Close();
  EXPECT_EQ(ReadFile(path), (Bytes{'a', 'b', 'c'}));
  EXPECT_TRUE(other.Open(path.c_str(), "w"));
}

TEST_F(FileStreamTest, OpenClosesTheFileOpenBefore) {
  const std::string first = PathOf("first.bmp"), second = PathOf("second.bmp");
  FileStream stream;
  ASSERT_TRUE(stream.Open(first.c_str(), "w"));
  EXPECT_EQ(stream.Write("1", 1), 1);
  ASSERT_TRUE(stream.Open(second.c_str(), "w"));
  EXPECT_EQ(stream.Write("2", 1), 1);
  // The first file is no longer held: another stream may take it.
  FileStream other;
  EXPECT_TRUE(other.Open(first.c_str(), "w"));
  other.Close();
  stream.Close();
  EXPECT_EQ(ReadFile(second), (Bytes{'2'}));
  // A failed open closes the file open before too.
  ASSERT_TRUE(stream.Open(first.c_str(), "w"));
  EXPECT_FALSE(stream.Open(PathOf("missing/x.bmp").c_str(), "w"));
  EXPECT_TRUE(other.Open(first.c_str(), "w"));
}

TEST_F(FileStreamTest, DestroyingTheStreamClosesTheFile) {
  const std::string path = PathOf("out.bmp");
  {
    FileStream stream;
    ASSERT_TRUE(stream.Open(path.c_str(), "w"));
    EXPECT_EQ(stream.Write("abc", 3), 3);
  }
  FileStream other;
  EXPECT_TRUE(other.Open(path.c_str(), "w"));
}

// The dialog's sequence: encode, open, write BmpFileSize bytes, close, free;
// the file read back from disk decodes to the image's colours.
TEST_F(FileStreamTest, EncodedImageRoundTripsThroughTheDisk) {
  PixelImage image;
  ASSERT_TRUE(image.Create(6, 5));
  PaintMotif(image);
  const std::string path = PathOf("round.bmp");
  BmpImageFile* file = image.EncodeBmp();
  ASSERT_NE(file, nullptr);
  FileStream stream;
  stream.Open(path.c_str(), "w");
  EXPECT_EQ(stream.Write(BmpFileBytes(file), BmpFileSize(file)), 154);
  stream.Close();
  FreeBmpImageFile(file);

  std::vector<std::vector<uint32_t>> picture;
  ASSERT_TRUE(DecodeBmp(ReadFile(path), picture));
  ASSERT_EQ(picture.size(), 5u);
  ASSERT_EQ(picture[0].size(), 6u);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x)
      EXPECT_EQ(picture[y][x], MotifColour(x, y) | 0xFF000000u) << x << "," << y;
}

TEST_F(FileStreamTest, RandomImagesRoundTrip) {
  std::mt19937 random(2024);
  const int32_t sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 3}, {3, 2}, {13, 11}, {64, 64}};
  for (const auto& size : sizes) {
    PixelImage image;
    ASSERT_TRUE(image.Create(size[0], size[1]));
    for (int32_t y = 0; y < size[1]; ++y)
      for (int32_t x = 0; x < size[0]; ++x) image.SetPixel(x, y, uint32_t(random()));
    const std::string path = PathOf("random.bmp");
    EncodedFile encoded(image);
    ASSERT_NE(encoded.file, nullptr);
    FileStream stream;
    ASSERT_TRUE(stream.Open(path.c_str(), "w"));
    stream.Write(BmpFileBytes(encoded.file), BmpFileSize(encoded.file));
    stream.Close();
    std::vector<std::vector<uint32_t>> picture;
    ASSERT_TRUE(DecodeBmp(ReadFile(path), picture)) << size[0] << "x" << size[1];
    for (int32_t y = 0; y < size[1]; ++y)
      for (int32_t x = 0; x < size[0]; ++x)
        ASSERT_EQ(picture[y][x], *image.PixelAt(x, y) | 0xFF000000u)
            << size[0] << "x" << size[1] << " at " << x << "," << y;
  }
}

}  // namespace
