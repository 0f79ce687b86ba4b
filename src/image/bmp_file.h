// A whole 24-bit uncompressed bottom-up BMP file in memory, and the thin file
// writer that puts it on disk. All header fields are little-endian; the 54
// header bytes are followed by height rows of 3 * width bytes padded to a
// multiple of 4, file row k holding image row height - 1 - k.
#pragma once

#include <cstdint>

#include "win32.h"

// An opaque byte block holding the file exactly as it goes to disk.
struct BmpImageFile;

// The bfSize field: the byte length of the block and of the file; 0 for null.
int32_t BmpFileSize(const BmpImageFile* file);
// The first byte of the block.
const uint8_t* BmpFileBytes(const BmpImageFile* file);
// Frees a block from PixelImage::EncodeBmp; null is ignored.
void FreeBmpImageFile(BmpImageFile* file);

// One operating-system file handle, or none.
class FileStream {
 public:
  FileStream() = default;
  ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Closes any open file first. Mode "w" (the only mode): create or replace
  // the file, write-only, unshared, with writes going through to the disk. A
  // leading asterisk of the path is dropped. Returns false, reporting nothing,
  // when there is no path, the mode is not "w" or the file cannot be created.
  bool Open(const char* path, const char* mode);
  // One operating-system write of length bytes; returns the bytes written, 0
  // when no file is open, data is null or length is not positive.
  int32_t Write(const void* data, int32_t length);
  // Closes the file if one is open; always true.
  bool Close();

 private:
  HANDLE handle_ = nullptr;
};
