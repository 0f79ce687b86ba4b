#include "image/bmp_file.h"

#include <atomic>
#include <cstring>
#include <new>
#include <string>

#include "image/pixel_image.h"

// BmpImageFile is never defined: a BmpImageFile* is the address of the first
// byte of a new[]-allocated byte block holding the whole file.

namespace {

constexpr uint32_t kHeaderBytes = 54;  // file header (14) + info header (40)
// Resolution written into every file, in pixels per metre.
constexpr int32_t kPelsPerMeter = 121;

void PutU16(uint8_t* at, uint16_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}

void PutU32(uint8_t* at, uint32_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
  at[2] = uint8_t(value >> 16);
  at[3] = uint8_t(value >> 24);
}

}  // namespace

// The file rows follow the image's memory order: both are bottom-up, so file
// row k and memory row k both hold picture row height - 1 - k. An image whose
// file would not fit the 32-bit bfSize field gives null.
BmpImageFile* PixelImage::EncodeBmp() const {
  if (!IsValid()) return nullptr;
  const uint64_t width = uint64_t(biWidth);
  const uint64_t height = uint64_t(biHeight);
  const uint64_t rowStride = (3 * width + 3) & ~uint64_t(3);
  const uint64_t total = kHeaderBytes + rowStride * height;
  if (total > uint64_t(INT32_MAX)) return nullptr;
  uint8_t* bytes = new (std::nothrow) uint8_t[total];
  if (bytes == nullptr) return nullptr;

  bytes[0] = 'B';
  bytes[1] = 'M';
  PutU32(bytes + 2, uint32_t(total));  // bfSize
  PutU16(bytes + 6, 0);                // bfReserved1
  PutU16(bytes + 8, 0);                // bfReserved2
  PutU32(bytes + 10, kHeaderBytes);    // bfOffBits
  PutU32(bytes + 14, 40);              // biSize
  PutU32(bytes + 18, uint32_t(biWidth));
  PutU32(bytes + 22, uint32_t(biHeight));
  PutU16(bytes + 26, 1);   // biPlanes
  PutU16(bytes + 28, 24);  // biBitCount
  PutU32(bytes + 30, 0);   // biCompression: uncompressed
  PutU32(bytes + 34, 0);   // biSizeImage: may be 0 for uncompressed rows
  PutU32(bytes + 38, uint32_t(kPelsPerMeter));
  PutU32(bytes + 42, uint32_t(kPelsPerMeter));
  PutU32(bytes + 46, 0);  // biClrUsed
  PutU32(bytes + 50, 0);  // biClrImportant

  const uint32_t* source = pixels;
  uint8_t* row = bytes + kHeaderBytes;
  for (uint64_t k = 0; k < height; ++k, row += rowStride) {
    uint8_t* out = row;
    for (uint64_t x = 0; x < width; ++x, out += 3) {
      const uint32_t p = *source++;
      out[0] = uint8_t(p);        // blue
      out[1] = uint8_t(p >> 8);   // green
      out[2] = uint8_t(p >> 16);  // red
    }
    std::memset(out, 0, size_t(row + rowStride - out));
  }
  return reinterpret_cast<BmpImageFile*>(bytes);
}

int32_t BmpFileSize(const BmpImageFile* file) {
  if (file == nullptr) return 0;
  const uint8_t* at = BmpFileBytes(file) + 2;
  return int32_t(uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 |
                 uint32_t(at[3]) << 24);
}

const uint8_t* BmpFileBytes(const BmpImageFile* file) {
  return reinterpret_cast<const uint8_t*>(file);
}

void FreeBmpImageFile(BmpImageFile* file) { delete[] reinterpret_cast<uint8_t*>(file); }

FileStream::~FileStream() { Close(); }

namespace {

// Every temporary name this process tries is new: the counter only grows.
std::atomic<unsigned long> g_temporaryCounter{0};

// How many taken temporary names are stepped over before giving up; only a
// name that exists already is retried.
constexpr int kTemporaryNameAttempts = 64;

constexpr DWORD kWriteFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH;

// A new file beside `target`, created with CREATE_NEW so that no file of
// anyone else is ever truncated: INVALID_HANDLE_VALUE when none can be made.
HANDLE CreateTemporaryFile(const std::string& target, std::string& name) {
  const std::string prefix = target + "." + std::to_string(static_cast<unsigned long>(GetCurrentProcessId())) + ".";
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    name = prefix + std::to_string(g_temporaryCounter.fetch_add(1)) + ".tmp";
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, kWriteFlags, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    // A missing folder or a bad name fails for every name alike.
    if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) break;
  }
  name.clear();
  return INVALID_HANDLE_VALUE;
}

}  // namespace

void FileStream::Forget() {
  handle_ = nullptr;
  held_ = nullptr;
  targetPath_.clear();
  temporaryPath_.clear();
  failed_ = false;
}

bool FileStream::Open(const char* path, const char* mode) {
  Close();
  if (path == nullptr || mode == nullptr || std::strcmp(mode, "w") != 0) return false;
  if (path[0] == '*') ++path;
  if (path[0] == '\0') return false;

  // An existing target must be writable and free now, not only at Close: it
  // is held unshared from here on. Opening it as it is leaves its content
  // alone.
  HANDLE held = nullptr;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    held = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, kWriteFlags, nullptr);
    if (held == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(held);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
      handle_ = held;
      targetPath_ = path;
      return true;
    }
    // Only a regular file is replaced; anything else (a block device) is
    // never written.
    if (type != FILE_TYPE_DISK) {
      CloseHandle(held);
      return false;
    }
  }

  std::string temporary;
  const HANDLE file = CreateTemporaryFile(path, temporary);
  if (file == INVALID_HANDLE_VALUE) {
    if (held != nullptr) CloseHandle(held);
    return false;
  }
  handle_ = file;
  held_ = held;
  targetPath_ = path;
  temporaryPath_ = temporary;
  return true;
}

int32_t FileStream::Write(const void* data, int32_t length) {
  if (handle_ == nullptr || data == nullptr || length <= 0) return 0;
  DWORD written = 0;
  // A failed or short write still reports what reached the file.
  const BOOL complete = WriteFile(handle_, data, DWORD(length), &written, nullptr);
  if (!complete || written != DWORD(length)) failed_ = true;
  return written > DWORD(length) ? length : int32_t(written);
}

bool FileStream::Close() {
  if (handle_ == nullptr) return true;
  if (temporaryPath_.empty()) {
    // A device or pipe written in place.
    const bool closed = CloseHandle(handle_) != FALSE;
    const bool finished = closed && !failed_;
    Forget();
    return finished;
  }
  // The data reaches the disk before the name does, so that after a crash
  // the target is either the old file or the whole new one.
  bool finished = !failed_ && FlushFileBuffers(handle_) != FALSE;
  if (CloseHandle(handle_) == FALSE) finished = false;
  // The target is let go just before it is replaced: Windows refuses to
  // rename over a file that is open.
  if (held_ != nullptr) CloseHandle(held_);
  if (finished)
    finished = MoveFileExA(temporaryPath_.c_str(), targetPath_.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!finished) DeleteFileA(temporaryPath_.c_str());
  Forget();
  return finished;
}
