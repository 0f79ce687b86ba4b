// The file writer never destroys the file it replaces: the new bytes go to a
// temporary file beside it, which becomes the target only at a Close after
// every write succeeded. Here the writes fail for real (a file size limit, a
// full file system) and the writer is killed half way, and every time the
// old file must come through byte for byte, with no temporary file left
// where the writer could still clean up.
#include "image/bmp_file.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "image/pixel_image.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileDirectly(const std::string& path, const Bytes& content) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
  out.close();
  return !out.fail();
}

// Recognisable old content: no prefix of a BMP, so a partly replaced file
// would show.
Bytes OldContent(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t('a' + i % 26);
  return bytes;
}

// The encoded bytes of a size x size picture with a colour per pixel.
Bytes EncodedPicture(int32_t size) {
  PixelImage image;
  if (!image.Create(size, size)) return {};
  for (int32_t y = 0; y < size; ++y)
    for (int32_t x = 0; x < size; ++x) image.SetPixel(x, y, 0xFF000000u | uint32_t(x * 7 + y * 131));
  BmpImageFile* file = image.EncodeBmp();
  if (file == nullptr) return {};
  Bytes bytes(BmpFileBytes(file), BmpFileBytes(file) + BmpFileSize(file));
  FreeBmpImageFile(file);
  return bytes;
}

// Runs `body` in a child process and returns its exit code, or 128 + the
// signal that ended it. The child never returns into the test framework.
int InChild(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  if (child < 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

class AtomicWrite : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    folder_ = fs::path(testing::TempDir()) /
              ("tamsink_atomic_" + std::to_string(seed()) + "_" + std::to_string(seed()));
    ASSERT_TRUE(fs::create_directories(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};

// The temporary file's name is the target's, the writer's process id, a
// counter and ".tmp".
bool IsTemporaryNameOf(const std::string& entry, const std::string& target, pid_t writer) {
  const std::string prefix = target + "." + std::to_string(writer) + ".";
  if (entry.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string rest = entry.substr(prefix.size());
  if (rest.size() <= 4 || rest.compare(rest.size() - 4, 4, ".tmp") != 0) return false;
  const std::string counter = rest.substr(0, rest.size() - 4);
  return std::all_of(counter.begin(), counter.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TEST_F(AtomicWrite, TheOldFileStaysUntilCloseReplacesItWhole) {
  const std::string path = PathOf("out.bmp");
  const Bytes old = OldContent(5000);
  ASSERT_TRUE(WriteFileDirectly(path, old));
  const Bytes picture = EncodedPicture(16);
  ASSERT_EQ(picture.size(), 54u + 48 * 16);

  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(ReadFile(path), old) << "opening must not truncate the old file";
  EXPECT_EQ(stream.Write(picture.data(), 100), 100);
  EXPECT_EQ(ReadFile(path), old) << "a reader sees the old file while the new one is written";
  // Beside the target, one temporary file named after it and this process.
  const std::vector<std::string> during = Entries();
  ASSERT_EQ(during.size(), 2u);
  EXPECT_EQ(during[0], "out.bmp");
  EXPECT_TRUE(IsTemporaryNameOf(during[1], "out.bmp", getpid())) << during[1];
  EXPECT_EQ(fs::file_size(folder_ / during[1]), 100u);

  EXPECT_EQ(stream.Write(picture.data() + 100, int32_t(picture.size() - 100)), int32_t(picture.size() - 100));
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ(ReadFile(path), picture);
  EXPECT_EQ(Entries(), std::vector<std::string>{"out.bmp"});
}

TEST_F(AtomicWrite, ANewFileAppearsOnlyAtClose) {
  const std::string path = PathOf("new.bmp");
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write("abc", 3), 3);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ(ReadFile(path), (Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(Entries(), std::vector<std::string>{"new.bmp"});
}

// Two writers of a path that does not exist yet each write their own
// temporary file; the later Close wins with its whole file, never a mix.
TEST_F(AtomicWrite, TwoWritersOfANewPathNeverMix) {
  const std::string path = PathOf("both.bmp");
  FileStream first, second;
  ASSERT_TRUE(first.Open(path.c_str(), "w"));
  ASSERT_TRUE(second.Open(path.c_str(), "w"));
  EXPECT_EQ(first.Write("11111", 5), 5);
  EXPECT_EQ(second.Write("22", 2), 2);
  EXPECT_TRUE(second.Close());
  EXPECT_EQ(ReadFile(path), (Bytes{'2', '2'}));
  // The file now exists and is not held, so the first writer replaces it.
  EXPECT_TRUE(first.Close());
  EXPECT_EQ(ReadFile(path), (Bytes{'1', '1', '1', '1', '1'}));
  EXPECT_EQ(Entries(), std::vector<std::string>{"both.bmp"});
}

// A write that stops half way for real: the file size limit makes write()
// fail with EFBIG after the first 4096 bytes. The limit is set in a child, so
// the test process keeps its own.
TEST_F(AtomicWrite, AWriteFailingMidwayKeepsTheOldFile) {
  const std::string path = PathOf("keep.bmp");
  const Bytes old = OldContent(700);
  ASSERT_TRUE(WriteFileDirectly(path, old));
  const Bytes picture = EncodedPicture(64);
  ASSERT_EQ(picture.size(), 12342u);

  const int result = InChild([&]() {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    FileStream stream;
    if (!stream.Open(path.c_str(), "w")) return 11;
    const int32_t written = stream.Write(picture.data(), int32_t(picture.size()));
    // What reached the temporary file is reported: the 4096 bytes below the
    // limit.
    if (written != 4096) return 12;
    // Later writes go nowhere either; Close keeps the old file.
    if (stream.Write("x", 1) != 0) return 13;
    if (stream.Close()) return 14;
    return 0;
  });
  EXPECT_EQ(result, 0) << "10 setrlimit, 11 open, 12 short write count, 13 later write, 14 close";
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.bmp"});
}

// A writer that ends without Close, by _exit or by SIGKILL half way through
// its write: the old file is intact. Only a temporary file named after the
// target may be left (nothing can clean up after a killed process).
TEST_F(AtomicWrite, AWriterKilledBeforeCloseLeavesTheOldFile) {
  const std::string path = PathOf("kill.bmp");
  const Bytes old = OldContent(3000);
  const Bytes picture = EncodedPicture(32);
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "SIGKILL" : "_exit");
    ASSERT_TRUE(WriteFileDirectly(path, old));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      FileStream stream;
      if (!stream.Open(path.c_str(), "w")) _exit(11);
      if (stream.Write(picture.data(), 1000) != 1000) _exit(12);
      if (!killed) _exit(0);  // no Close, no destructor
      const char byte = 1;
      if (write(ready[1], &byte, 1) != 1) _exit(13);
      pause();  // killed here, the file still open and half written
      _exit(14);
    }
    close(ready[1]);
    if (killed) {
      char byte = 0;
      ASSERT_EQ(read(ready[0], &byte, 1), 1);
      ASSERT_EQ(kill(child, SIGKILL), 0);
    }
    close(ready[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (killed) {
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    } else {
      ASSERT_TRUE(WIFEXITED(status));
      ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(ReadFile(path), old);
    for (const std::string& entry : Entries()) {
      if (entry == "kill.bmp") continue;
      EXPECT_TRUE(IsTemporaryNameOf(entry, "kill.bmp", child)) << entry;
      EXPECT_EQ(fs::file_size(folder_ / entry), 1000u);
      fs::remove(folder_ / entry);
    }
  }
  // The leftovers do not stand in the way of the next write.
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write(picture.data(), int32_t(picture.size())), int32_t(picture.size()));
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ(ReadFile(path), picture);
}

// When the rename itself fails (a folder took the target's name after Open)
// the temporary file is deleted and Close says so.
TEST_F(AtomicWrite, AFailedRenameDeletesTheTemporaryFile) {
  const std::string path = PathOf("taken.bmp");
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write("abc", 3), 3);
  ASSERT_TRUE(fs::create_directory(path));
  EXPECT_FALSE(stream.Close());
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(Entries(), std::vector<std::string>{"taken.bmp"});
  // The stream is without a file again.
  EXPECT_EQ(stream.Write("abc", 3), 0);
  EXPECT_TRUE(stream.Close());
}

// A FIFO is written in place, never replaced by a regular file: renaming over
// it would swap the node itself.
TEST_F(AtomicWrite, APipeWithAReaderIsWrittenInPlace) {
  const std::string path = PathOf("pipe");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write("abc", 3), 3);
  EXPECT_TRUE(stream.Close());
  char got[8] = {};
  EXPECT_EQ(read(reader, got, sizeof got), 3);
  EXPECT_EQ(std::string(got, 3), "abc");
  close(reader);
  struct stat info;
  ASSERT_EQ(lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(Entries(), std::vector<std::string>{"pipe"});
}

// Device nodes made in the test's own folder (root only): a character device
// is written in place and stays a device; a block device is refused outright.
TEST_F(AtomicWrite, DevicesAreWrittenInPlaceOrRefused) {
  const std::string nullDevice = PathOf("null");
  const std::string blockDevice = PathOf("block");
  // 1:3 is the null device, 7:0 the first loop device.
  if (mknod(nullDevice.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
    GTEST_SKIP() << "cannot make device nodes here: " << std::strerror(errno);
  FileStream stream;
  ASSERT_TRUE(stream.Open(nullDevice.c_str(), "w"));
  EXPECT_EQ(stream.Write("abc", 3), 3);
  EXPECT_TRUE(stream.Close());
  struct stat info;
  ASSERT_EQ(lstat(nullDevice.c_str(), &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));

  if (mknod(blockDevice.c_str(), S_IFBLK | 0600, makedev(7, 0)) != 0) return;
  EXPECT_FALSE(stream.Open(blockDevice.c_str(), "w"));
  EXPECT_EQ(stream.Write("abc", 3), 0);
  ASSERT_EQ(lstat(blockDevice.c_str(), &info), 0);
  EXPECT_TRUE(S_ISBLK(info.st_mode));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"block", "null"}));
}

// A read-only file cannot be replaced, as on Windows, and stays as it was.
// Root may write any file, so as root the writer runs as nobody.
TEST_F(AtomicWrite, AReadOnlyFileIsRefused) {
  const std::string path = PathOf("locked.bmp");
  const Bytes old = OldContent(50);
  ASSERT_TRUE(WriteFileDirectly(path, old));
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(chmod(folder_.c_str(), 0777), 0);  // nobody could make a temporary file here
  const int result = InChild([&]() {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 10;
    FileStream stream;
    if (stream.Open(path.c_str(), "w")) return 11;
    if (stream.Write("new", 3) != 0) return 12;
    return 0;
  });
  EXPECT_EQ(result, 0) << "10 cannot become nobody, 11 opened, 12 wrote";
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(Entries(), std::vector<std::string>{"locked.bmp"});
}

// A small tmpfs of its own, filled up, so that the write runs out of space
// for real: with no byte left, and with less left than the new file needs.
class FullFileSystem : public AtomicWrite {
 protected:
  void SetUp() override {
    AtomicWrite::SetUp();
    mountPoint_ = folder_ / "small";
    ASSERT_TRUE(fs::create_directory(mountPoint_));
    if (geteuid() != 0) GTEST_SKIP() << "mounting a 64 KiB tmpfs needs root";
    if (mount("tamsink-test", mountPoint_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
      GTEST_SKIP() << "cannot mount a 64 KiB tmpfs: " << std::strerror(errno);
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) umount2(mountPoint_.c_str(), MNT_DETACH);
    AtomicWrite::TearDown();
  }

  static uint64_t FreeBytes(const fs::path& where) {
    struct statvfs info;
    if (statvfs(where.c_str(), &info) != 0) return 0;
    return uint64_t(info.f_bavail) * info.f_frsize;
  }

  std::vector<std::string> SmallEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(mountPoint_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path mountPoint_;
  bool mounted_ = false;
};

TEST_F(FullFileSystem, AnOldFileSurvivesTheDiskFillingUp) {
  const std::string path = (mountPoint_ / "out.bmp").string();
  const std::string filler = (mountPoint_ / "filler").string();
  const Bytes old = OldContent(10000);
  const Bytes picture = EncodedPicture(64);  // 12342 bytes
  for (const uint64_t leftFree : {uint64_t(0), uint64_t(4096)}) {
    SCOPED_TRACE("bytes left free: " + std::to_string(leftFree));
    fs::remove(filler);
    ASSERT_TRUE(WriteFileDirectly(path, old));
    const uint64_t available = FreeBytes(mountPoint_);
    ASSERT_GT(available, leftFree);
    {
      // Fill to the last byte, then give back what should stay free.
      std::ofstream out(filler, std::ios::binary);
      const std::vector<char> block(available, 'f');
      out.write(block.data(), std::streamsize(block.size()));
    }
    if (leftFree > 0) fs::resize_file(filler, fs::file_size(filler) - leftFree);
    ASSERT_LE(FreeBytes(mountPoint_), leftFree);
    ASSERT_LT(FreeBytes(mountPoint_), picture.size());

    FileStream stream;
    ASSERT_TRUE(stream.Open(path.c_str(), "w"));
    const int32_t written = stream.Write(picture.data(), int32_t(picture.size()));
    EXPECT_LE(uint64_t(written), leftFree);
    EXPECT_FALSE(stream.Close());
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(SmallEntries(), (std::vector<std::string>{"filler", "out.bmp"}));
  }
  // With the space back the same write goes through.
  fs::remove(filler);
  FileStream stream;
  ASSERT_TRUE(stream.Open(path.c_str(), "w"));
  EXPECT_EQ(stream.Write(picture.data(), int32_t(picture.size())), int32_t(picture.size()));
  EXPECT_TRUE(stream.Close());
  EXPECT_EQ(ReadFile(path), picture);
  EXPECT_EQ(SmallEntries(), std::vector<std::string>{"out.bmp"});
}

}  // namespace
