// A whole 24-bit uncompressed bottom-up BMP file in memory, and the thin file
// writer that puts it on disk. All header fields are little-endian; the 54
// header bytes are followed by height rows of 3 * width bytes padded to a
// multiple of 4, file row k holding image row height - 1 - k.
#pragma once

#include <cstdint>

#include "win32.h"

// An opaque byte block holding the file exactly as it goes to disk.
struct BmpImageFile;

// The bfSize field: the byte length of the block and of the file.
int32_t BmpFileSize(const BmpImageFile* file);
const uint8_t* BmpFileBytes(const BmpImageFile* file);
void FreeBmpImageFile(BmpImageFile* file);

// One operating-system file handle, or none.
class FileStream {
 public:
  FileStream() = default;
  ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Mode "w": create or replace the file, write-only, unshared, with writes
  // going through to the disk. A leading asterisk of the path is dropped.
  // Returns false, reporting nothing, when there is no path or the file
  // cannot be created.
  bool Open(const char* path, const char* mode);
  // One operating-system write of length bytes; returns the bytes written, 0
  // when no file is open or data is null.
  int32_t Write(const void* data, int32_t length);
  bool Close();

 private:
  HANDLE handle_ = nullptr;
};
