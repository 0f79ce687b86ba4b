// A whole 24-bit uncompressed bottom-up BMP file in memory, and the thin file
// writer that puts it on disk. All header fields are little-endian; the 54
// header bytes are followed by height rows of 3 * width bytes padded to a
// multiple of 4, file row k holding image row height - 1 - k.
//
// The writer never destroys the file it replaces: it writes into a new
// temporary file in the same folder (<path>.<process id>.<counter>.tmp) and
// renames that over the target only when every write succeeded and the data
// is on the disk. A failed write, a full disk or a process killed half way
// leaves the old file exactly as it was (a kill may leave the temporary file
// behind; nothing else removes it then). Devices and pipes (a character
// device, a FIFO) are written in place, since renaming over one would replace
// the device node rather than write to it.
#pragma once

#include <cstdint>
#include <string>

#include "win32.h"

// An opaque byte block holding the file exactly as it goes to disk.
struct BmpImageFile;

// The bfSize field: the byte length of the block and of the file; 0 for null.
int32_t BmpFileSize(const BmpImageFile* file);
// The first byte of the block.
const uint8_t* BmpFileBytes(const BmpImageFile* file);
// Frees a block from PixelImage::EncodeBmp; null is ignored.
void FreeBmpImageFile(BmpImageFile* file);

// One file being written, or none.
class FileStream {
 public:
  FileStream() = default;
  ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Closes any open file first. Mode "w" (the only mode): create or replace
  // the file, write-only, unshared, with writes going through to the disk. A
  // leading asterisk of the path is dropped. An existing file is held
  // unshared until Close, so it cannot be in use elsewhere meanwhile, and
  // keeps its content until Close replaces it. Returns false, reporting
  // nothing and creating nothing, when there is no path, the mode is not "w",
  // the path is a folder or a block device, the existing file cannot be
  // opened for writing (in use, read-only, a pipe nobody reads), or the
  // temporary file cannot be created (missing folder, invalid name).
  bool Open(const char* path, const char* mode);
  // One operating-system write of length bytes; returns the bytes written, 0
  // when no file is open, data is null or length is not positive. A write
  // that falls short dooms the file: Close then keeps the old one.
  int32_t Write(const void* data, int32_t length);
  // Finishes the file if one is open: flushes it and renames it over the
  // target when every write succeeded, else deletes it, leaving the target
  // as it was. Returns false only when an open file could not be finished;
  // true without a file.
  bool Close();

 private:
  void Forget();

  HANDLE handle_ = nullptr;    // where writes go: the temporary file, or a device in place
  HANDLE held_ = nullptr;      // the existing target, held unshared; null when there is none
  std::string targetPath_;     // the file Close replaces
  std::string temporaryPath_;  // empty when writing in place
  bool failed_ = false;        // a write fell short since Open
};
