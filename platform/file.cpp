// The KERNEL32 file calls over POSIX files, for the ways the plug-in uses
// files: write only and unshared, created new (CREATE_NEW), created or
// truncated (CREATE_ALWAYS) or opened as it is (OPEN_EXISTING); flushed,
// renamed over another file and deleted. A file opened with
// FILE_FLAG_WRITE_THROUGH has each write flushed to storage before WriteFile
// returns, as the flag promises on Windows.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "win32.h"

namespace {

struct PosixFile {
  int fd;
  bool writeThrough;
};

bool OpenFlags(DWORD creationDisposition, int* flags) {
  switch (creationDisposition) {
    case CREATE_NEW:
      *flags = O_CREAT | O_EXCL;
      return true;
    case CREATE_ALWAYS:
      *flags = O_CREAT;
      return true;
    case OPEN_EXISTING:
      *flags = 0;
      return true;
    default:
      return false;
  }
}

// The folder a path names its file in: "." for a bare name, "/" for a file
// in the root.
std::string FolderOf(const char* path) {
  const std::string text(path);
  const size_t slash = text.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return text.substr(0, slash);
}

// fsync, where a file that cannot be synced (a pipe, a device, a file system
// without the call: EINVAL, ENOTSUP, EROFS) has nothing waiting to be
// written; any other failure means the data may not have reached the disk.
bool Sync(int fd) {
  int result;
  do {
    result = fsync(fd);
  } while (result != 0 && errno == EINTR);
  return result == 0 || errno == EINVAL || errno == ENOTSUP || errno == EROFS;
}

// Makes a rename in `folder` durable.
bool SyncFolder(const std::string& folder) {
  int fd;
  do {
    fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  const bool synced = Sync(fd);
  close(fd);
  return synced;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, void* /*security*/,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  if (fileName == nullptr || fileName[0] == '\0') return INVALID_HANDLE_VALUE;
  int createFlags = 0;
  if (desiredAccess != GENERIC_WRITE || !OpenFlags(creationDisposition, &createFlags))
    return INVALID_HANDLE_VALUE;
  // O_NONBLOCK only for the open itself: a FIFO without a reader then fails
  // at once instead of blocking the caller forever. The file is truncated
  // only after the sharing check, so a refused open leaves the holder's file
  // as it was.
  int fd;
  do {
    fd = open(fileName, O_WRONLY | createFlags | O_NONBLOCK | O_CLOEXEC, 0666);
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
  const bool truncate = creationDisposition == CREATE_ALWAYS;
  if (fstat(fd, &info) != 0 ||
      (truncate && S_ISREG(info.st_mode) && info.st_size != 0 && ftruncate(fd, 0) != 0)) {
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
  if (file->writeThrough && !Sync(file->fd)) return FALSE;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
  PosixFile* file = static_cast<PosixFile*>(handle);
  const int result = close(file->fd);
  delete file;
  return result == 0 ? TRUE : FALSE;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
  if (fileName == nullptr || fileName[0] == '\0') return INVALID_FILE_ATTRIBUTES;
  struct stat info;
  if (stat(fileName, &info) != 0) return INVALID_FILE_ATTRIBUTES;
  return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetFileType(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FILE_TYPE_UNKNOWN;
  struct stat info;
  if (fstat(static_cast<PosixFile*>(handle)->fd, &info) != 0) return FILE_TYPE_UNKNOWN;
  if (S_ISREG(info.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

BOOL FlushFileBuffers(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
  return Sync(static_cast<PosixFile*>(handle)->fd) ? TRUE : FALSE;
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
  if (existingFileName == nullptr || existingFileName[0] == '\0' || newFileName == nullptr ||
      newFileName[0] == '\0')
    return FALSE;
  if ((flags & MOVEFILE_REPLACE_EXISTING) != 0) {
    // rename replaces a file in one step, and refuses a folder as the new
    // name (EISDIR), as MoveFileExA does.
    if (rename(existingFileName, newFileName) != 0) return FALSE;
  } else {
    // Without replacing: a hard link fails when the new name exists, so no
    // file can appear between a check and the rename.
    if (link(existingFileName, newFileName) != 0) return FALSE;
    if (unlink(existingFileName) != 0) {
      unlink(newFileName);
      return FALSE;
    }
  }
  if ((flags & MOVEFILE_WRITE_THROUGH) != 0 && !SyncFolder(FolderOf(newFileName))) return FALSE;
  return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
  if (fileName == nullptr || fileName[0] == '\0') return FALSE;
  // unlink refuses a folder (EISDIR), as DeleteFileA does.
  return unlink(fileName) == 0 ? TRUE : FALSE;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
