// CreateFileA, WriteFile and CloseHandle over POSIX files, for the one way the
// plug-in opens files: create or truncate, write only, unshared. A file opened
// with FILE_FLAG_WRITE_THROUGH has each write flushed to storage before
// WriteFile returns, as the flag promises on Windows.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "win32.h"

namespace {

struct PosixFile {
  int fd;
  bool writeThrough;
};

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, void* /*security*/,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  if (fileName == nullptr || fileName[0] == '\0') return INVALID_HANDLE_VALUE;
  if (desiredAccess != GENERIC_WRITE || creationDisposition != CREATE_ALWAYS)
    return INVALID_HANDLE_VALUE;
  // O_NONBLOCK only for the open itself: a FIFO without a reader then fails
  // at once instead of blocking the caller forever. The file is truncated
  // only after the sharing check, so a refused open leaves the holder's file
  // as it was.
  int fd;
  do {
    fd = open(fileName, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  const int statusFlags = fcntl(fd, F_GETFL);
  if (statusFlags == -1 || fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK) == -1) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  // Share mode 0: a second unshared open of a file that is open here fails,
  // as on Windows. POSIX locks are advisory, so this binds only callers that
  // take the lock too, which every CreateFileA of this seam does. A file
  // system without locks (ENOLCK, EINVAL) is not a file in use.
  if (shareMode == 0) {
    int locked;
    do {
      locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 && errno == EWOULDBLOCK) {
      close(fd);
      return INVALID_HANDLE_VALUE;
    }
  }
  struct stat info;
  if (fstat(fd, &info) != 0 ||
      (S_ISREG(info.st_mode) && info.st_size != 0 && ftruncate(fd, 0) != 0)) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  PosixFile* file = new (std::nothrow) PosixFile{fd, (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) != 0};
  if (file == nullptr) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               void* /*overlapped*/) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
  PosixFile* file = static_cast<PosixFile*>(handle);
  const char* data = static_cast<const char*>(buffer);
  DWORD done = 0;
  // A write to a regular file on Windows completes whole unless the disk is
  // full; here a short write is continued until it fails.
  while (done < bytesToWrite) {
    const ssize_t n = write(file->fd, data + done, bytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<DWORD>(n);
  }
  if (bytesWritten != nullptr) *bytesWritten = done;
  if (done < bytesToWrite) return FALSE;
  if (file->writeThrough && fsync(file->fd) != 0) return FALSE;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
  PosixFile* file = static_cast<PosixFile*>(handle);
  const int result = close(file->fd);
  delete file;
  return result == 0 ? TRUE : FALSE;
}
