// What artists' tools export, fed to the baker and to the plug-in's dialog:
// NaN and enormous coordinates, degenerate, duplicated and one- or
// two-point faces, UVs far outside the unit square, files cut off half way,
// sizes and paths typed by mistake, a disk that fills up. Each case states
// what the program does with it: it bakes what can be baked, or it refuses
// with a message that says what was wrong; it never crashes, hangs or leaves
// a damaged file. The README's "Bad input" section lists these cases with their test names.
//
// Everything runs through the baker as a program, the dialog cases through
// sessions it runs in the plug-in's own dialog. The baker is taken from the
// folder this test runs from (the build puts every program and library in
// one folder) unless the build names it.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>


namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::string ProgramFolder() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  return fs::path(std::string(path, size_t(n))).parent_path().string();
}

std::string BakerPath() {
#ifdef TAMSINK_BINARY
  return TAMSINK_BINARY;
#else
  return ProgramFolder() + "/tamsink";
#endif
}

struct BakerRun {
  int status = -1;  // exit status; 128 + signal when killed
  std::string err;
};

// Runs the baker with these arguments, not through a shell, so that any
// byte of an argument arrives as it is.
BakerRun RunBaker(const std::vector<std::string>& args) {
  BakerRun run;
  int errPipe[2];
  if (pipe(errPipe) != 0) return run;
  const pid_t child = fork();
  if (child == 0) {
    dup2(errPipe[1], 2);
    close(errPipe[0]);
    close(errPipe[1]);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    dup2(devNull, 1);
    std::vector<char*> argv;
    const std::string program = BakerPath();
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(errPipe[1]);
  char buffer[4096];
  for (ssize_t n; (n = read(errPipe[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    run.err.append(buffer, size_t(n));
  }
  close(errPipe[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  return run;
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Rgb = std::array<int, 3>;

// A whole 24-bit BMP of size x size as picture[y][x], y = 0 the top row;
// empty when the file is not one.
std::vector<std::vector<Rgb>> DecodeBmp(const Bytes& file, int size) {
  const auto u32 = [&file](size_t at) {
    return uint32_t(file[at]) | uint32_t(file[at + 1]) << 8 | uint32_t(file[at + 2]) << 16 |
           uint32_t(file[at + 3]) << 24;
  };
  const size_t stride = (size_t(size) * 3 + 3) / 4 * 4;
  if (file.size() != 54 + stride * size_t(size) || file[0] != 'B' || file[1] != 'M' ||
      u32(2) != file.size() || u32(18) != uint32_t(size) || u32(22) != uint32_t(size) || file[28] != 24)
    return {};
  std::vector<std::vector<Rgb>> picture(static_cast<size_t>(size), std::vector<Rgb>(static_cast<size_t>(size)));
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const size_t at = 54 + size_t(size - 1 - y) * stride + 3 * size_t(x);
      picture[y][x] = {file[at + 2], file[at + 1], file[at]};
    }
  return picture;
}

const Rgb kGreen = {0, 255, 0};  // an uncovered texel
// Normal colour of (0, 0, 1): R = G = trunc(0 * 127 + 128) = 128, B =
// trunc(1 * 127 + 128) = 255. An OBJ face seen counter-clockwise from +z
// faces +z.
const Rgb kFacingPlusZ = {128, 128, 255};
// Normal colour of (0, 0, 0): a vertex whose summed normals are not a
// number, or cancel, has the zero normal.
const Rgb kZeroNormal = {128, 128, 128};

class BadInput : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    folder_ = fs::path(testing::TempDir()) /
              ("tamsink_bad_" + std::to_string(seed()) + "_" + std::to_string(seed()));
    ASSERT_TRUE(fs::create_directories(folder_));
    ASSERT_TRUE(fs::exists(BakerPath())) << BakerPath() << ": build the tamsink target first";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(PathOf(name), std::ios::binary) << text;
    return PathOf(name);
  }

  // Bakes `obj` in one mode at `size` into out.bmp; the picture, empty when
  // no whole file came out.
  std::vector<std::vector<Rgb>> Bake(const std::string& obj, int size, const std::string& mode = "normal",
                                     BakerRun* run = nullptr) {
    const std::string model = Write("model.obj", obj);
    fs::remove(PathOf("out.bmp"));
    const BakerRun result = RunBaker({"bake", model, "--size", std::to_string(size), "--mode", mode, "--out",
                                 PathOf("out.bmp"), "--quiet"});
    if (run != nullptr) *run = result;
    EXPECT_EQ(result.status, 0) << result.err;
    return DecodeBmp(ReadBytes(PathOf("out.bmp")), size);
  }

  fs::path folder_;
};

// The good quad covers the left half of the UV square; the right half is
// covered by a triangle with a NaN and an infinite coordinate and one whose
// coordinates are so large that its cross product overflows the float range.
// Their normals are not numbers, so their vertices get the zero normal.
TEST_F(BadInput, NonFiniteAndHugeCoordinatesBakeWithAZeroNormal) {
  const std::string obj =
      "o thing\n"
      "v 0 0 0\nv 0.5 0 0\nv 0.5 1 0\nv 0 1 0\n"
      "vt 0 0\nvt 0.5 0\nvt 0.5 1\nvt 0 1\n"
      "f 1/1 2/2 3/3 4/4\n"
      "v nan 0 0\nv 1 0 inf\nv 1 1 0\n"
      "vt 1 0\nvt 1 1\n"
      "f 5/2 6/5 7/6\n"
      "v 1e25 0 0\nv 2e25 3e25 0\nv 0 1e25 0\n"
      "f 8/2 9/6 10/3\n";
  for (const std::string mode : {"normal", "shade", "shadow", "ao"}) {
    SCOPED_TRACE(mode);
    const auto picture = Bake(obj, 8, mode);
    ASSERT_EQ(picture.size(), 8u);
    if (mode != "normal") continue;
    // The quad's u = 0.5 edge lies in column trunc(8 * 0.5) = 4, which it
    // claims first, being face 0.
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) EXPECT_EQ(picture[y][x], x <= 4 ? kFacingPlusZ : kZeroNormal) << x << "," << y;
  }
}

// Faces of one or two points, a duplicated face, degenerate faces (two
// corners on one vertex of the quad, three corners on a line, three on one
// point), a face with UVs thousands of units outside the square: none changes
// a byte of the bake of the quad alone. Degenerate faces have the zero normal
// and add nothing to the quad's vertices; their UVs lie under the quad, which
// claims its texels first. The quad covers the left half of the UV square,
// so a face that claimed anything would show on the right.
TEST_F(BadInput, ShortDuplicatedDegenerateAndWideFacesChangeNothing) {
  const std::string quad =
      "o thing\n"
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
      "vt 0 0\nvt 0.5 0\nvt 0.5 1\nvt 0 1\n"
      "f 1/1 2/2 3/3 4/4\n";
  // Each is added to the quad on its own; its vertices and texture
  // coordinates number on from 5.
  const std::string extras[] = {
      "f 1\nf 2 3\n",                                             // one and two points
      "f 1/1 2/2 3/3 4/4\n",                                      // the quad again
      "f 1/1 2/2 1/3\n",                                          // two corners on one vertex
      "v 2 0 0\nv 3 0 0\nv 4 0 0\nf 5/1 6/2 7/3\n",                // on a line
      "v 5 5 5\nf 5/1 5/2 5/3\n",                                 // on one point
      "v 0 0 9\nv 1 0 9\nv 1 1 9\nvt 5000 5000\nvt -5000 2\nf 5/5 6/6 7/1\n",  // UVs far out
  };
  const auto alone = Bake(quad, 16);
  ASSERT_EQ(alone.size(), 16u);
  for (int y = 0; y < 16; ++y) {
    EXPECT_EQ(alone[y][0], kFacingPlusZ);
    EXPECT_EQ(alone[y][15], kGreen);
  }
  for (const std::string& extra : extras) {
    SCOPED_TRACE(extra);
    EXPECT_EQ(Bake(quad + extra, 16), alone);
  }
}

// A file cut off anywhere either bakes what it holds or fails with the file
// and line of the cut; it never crashes. The cuts named below end in the
// middle of a record.
TEST_F(BadInput, FilesCutOffHalfWayFailWithTheLineOrBakeWhatIsThere) {
  const std::string whole =
      "# made by hand\n"
      "o thing\n"
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 0.5 3.5e-1\n"
      "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
      "f 1/1 2/2 3/3 4/4\n"
      "f 1/1 2/2 5/3\n";
  const std::string model = PathOf("cut.obj");
  struct Cut {
    std::string endsWith;
    std::string message;  // empty: the bake succeeds
  };
  const Cut cuts[] = {
      {"v 1 1", model + ":5: vertex needs 3 coordinates"},
      {"v 0.5 0.5 3.5e", model + ":7: '3.5e' is not a number"},
      {"f 1/1 2/2 3/", model + ":12: '3/' is not a face corner"},
      {"f 1/1 2/2 3/3 4/4\nf 1/1 2", ""},  // a two-point face is kept, and skipped
      {"o thi", ""},                     // an object without faces: all green
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.endsWith);
    const size_t at = whole.find(cut.endsWith);
    ASSERT_NE(at, std::string::npos);
    Write("cut.obj", whole.substr(0, at + cut.endsWith.size()));
    fs::remove(PathOf("out.bmp"));
    const BakerRun run = RunBaker({"bake", model, "--size", "4", "--out", PathOf("out.bmp"), "--quiet"});
    if (cut.message.empty()) {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(DecodeBmp(ReadBytes(PathOf("out.bmp")), 4).size(), 4u);
    } else {
      EXPECT_EQ(run.status, 2);
      EXPECT_EQ(run.err, "tamsink: " + cut.message + "\n");
      EXPECT_FALSE(fs::exists(PathOf("out.bmp")));
    }
  }
  // Every other cut, every 9th byte: a whole picture, or one line that
  // names the file, and nothing written.
  for (size_t length = 0; length < whole.size(); length += 9) {
    SCOPED_TRACE(length);
    Write("cut.obj", whole.substr(0, length));
    fs::remove(PathOf("out.bmp"));
    const BakerRun run = RunBaker({"bake", model, "--size", "4", "--out", PathOf("out.bmp"), "--quiet"});
    ASSERT_TRUE(run.status == 0 || run.status == 2) << run.status << " " << run.err;
    if (run.status == 0) {
      EXPECT_EQ(DecodeBmp(ReadBytes(PathOf("out.bmp")), 4).size(), 4u);
    } else {
      EXPECT_EQ(run.err.rfind("tamsink: " + model + ":", 0), 0u) << run.err;
      EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
      EXPECT_FALSE(fs::exists(PathOf("out.bmp")));
    }
  }
}

TEST_F(BadInput, GarbageAndEmptyFilesAreRefused) {
  // Unknown records are skipped, so a binary file holds no objects unless a
  // line of it starts with a record the importer knows, whose words must
  // then be numbers (shown with '?' for bytes outside printable ASCII).
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n", 17);
  const std::string pngThenVertex = png + "v \x01\xff 3 4\n";
  struct Case {
    std::string text;
    std::string message;
  };
  const std::string model = PathOf("model.obj");
  const Case cases[] = {
      {"", model + ": the file has no objects"},
      {"v 0 0 0\nv 1 0 0\nvt 0 0\n", model + ": the file has no objects"},
      {png, model + ": the file has no objects"},
      // Lines: "\x89PNG" (CR LF), "\x1a", three zero bytes (a lone CR),
      // "IHDR", then the vertex on line 5.
      {pngThenVertex, model + ":5: '?\?' is not a number"},
      {"v 1 2 3\nf 1 2 3\n", model + ":2: face refers to vertex 2, the file has 1"},
      {"v 1 2 3\nf 1 -2 1\n", model + ":2: face refers to vertex -2, the file has 1 before this line"},
      {"v 1 2 3\nf 0 1 1\n", model + ":2: face refers to vertex 0; indices start at 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Write("model.obj", c.text);
    const BakerRun run = RunBaker({"bake", model, "--out", PathOf("out.bmp"), "--quiet"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tamsink: " + c.message + "\n");
  }
  EXPECT_FALSE(fs::exists(PathOf("out.bmp")));
}

TEST_F(BadInput, SizesTypedByMistakeAreRefused) {
  const std::string model = Write("model.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  struct Case {
    std::string size;
    std::string message;
  };
  const Case cases[] = {
      {"1e3", "--size must be a whole number of at least 1, not '1e3'"},
      {"64.5", "--size must be a whole number of at least 1, not '64.5'"},
      {"-1", "--size must be a whole number of at least 1, not '-1'"},
      {"", "--size must be a whole number of at least 1, not ''"},
      {"99999999999999999999", "--size must be a whole number of at least 1, not '99999999999999999999'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const BakerRun run = RunBaker({"bake", model, "--size", c.size, "--out", PathOf("out.bmp")});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tamsink: " + c.message + "\n");
  }
  // The largest size whose table (28 bytes a texel) and image (4 bytes) fit
  // in 8 GiB is floor(sqrt(2^33 / 32)) = 16384.
  const BakerRun over = RunBaker({"bake", model, "--size", "16385", "--out", PathOf("out.bmp")});
  EXPECT_EQ(over.status, 2);
  EXPECT_EQ(over.err.rfind("tamsink: --size 16385 is too large: ", 0), 0u) << over.err;
  EXPECT_NE(over.err.find("(at most 16384 fits)"), std::string::npos) << over.err;
  EXPECT_FALSE(fs::exists(PathOf("out.bmp")));
}

// The plug-in reads its path edit into a 260-byte buffer and drops a leading
// asterisk, and the path travels in a one-line session step: a path that
// does not survive that would be written somewhere else, so it is refused.
TEST_F(BadInput, OutputPathsThePlugInCannotHoldAreRefused) {
  const std::string model = Write("model.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const std::string longName = PathOf(std::string(300 - PathOf("").size(), 'a') + ".bmp");
  ASSERT_EQ(longName.size(), 304u);
  struct Case {
    std::string out;
    std::string message;
  };
  const Case cases[] = {
      {PathOf("two\nlines.bmp"), "the output path must not contain a line break"},
      {PathOf("carriage.bmp\r"), "the output path must not contain a line break"},
      {longName, "the output path is 304 bytes long; the plug-in takes at most 259 (" + longName.substr(0, 40) + "...)"},
      {"*star.bmp", "the output path must not start with '*', which the plug-in drops: '*star.bmp'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    const BakerRun run = RunBaker({"bake", model, "--out", c.out});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tamsink: " + c.message + "\n");
  }
  // Nothing was written anywhere in the folder, under any name.
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(folder_)) entries.push_back(entry.path().filename().string());
  EXPECT_EQ(entries, std::vector<std::string>{"model.obj"});
}

// A 64 KiB tmpfs with only 4 KiB left: the 12342-byte picture cannot be
// written. The old file stays as it was, no temporary file is left, and the
// baker says which file was not written.
TEST_F(BadInput, AFullDiskKeepsTheOldFileAndSaysSo) {
  const fs::path small = folder_ / "small";
  ASSERT_TRUE(fs::create_directory(small));
  if (geteuid() != 0) GTEST_SKIP() << "mounting a 64 KiB tmpfs needs root";
  if (mount("tamsink-test", small.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a 64 KiB tmpfs: " << std::strerror(errno);
  const std::string out = (small / "out.bmp").string();
  const Bytes old(20000, 'o');
  {
    std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(old.data()), std::streamsize(old.size()));
    struct statvfs info;
    ASSERT_EQ(statvfs(small.c_str(), &info), 0);
    const uint64_t available = uint64_t(info.f_bavail) * info.f_frsize;
    ASSERT_GT(available, 4096u);
    const std::vector<char> filler(available - 4096, 'f');
    std::ofstream((small / "filler").string(), std::ios::binary).write(filler.data(), std::streamsize(filler.size()));
  }
  const std::string model = Write("model.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n");
  const BakerRun run = RunBaker({"bake", model, "--size", "64", "--out", out, "--quiet"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tamsink: " + out + ": was not written\n");
  EXPECT_EQ(ReadBytes(out), old);
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(small)) entries.push_back(entry.path().filename().string());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"filler", "out.bmp"}));
  umount2(small.c_str(), MNT_DETACH);
}

// ---------------------------------------------------------------------------
// The dialog, driven by sessions (host/session.h) that the baker runs with
// --session: the plug-in's own dialog, typed into as a user would.

class BadDialogInput : public BadInput {
 protected:
  // Runs `steps` on a quad filling the UV square, then ends the dialog with
  // OK; every expectation of the steps must hold.
  void RunSteps(const std::string& steps) {
    const std::string model = Write("quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                                "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n");
    const std::string session = Write("steps.txt", steps + "tab 0\nfocus 1013\nkey enter\n");
    const BakerRun run = RunBaker({"bake", model, "--session", session, "--quiet"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
  }
};

// The size edit's text is read from its first 259 bytes with atoi. Sizes
// below 1 and sizes whose table would pass 8 GiB (28 bytes a texel: any size
// over 17,515) build no table, so the bake stays disabled and nothing is
// written.
TEST_F(BadDialogInput, SizesThatCannotBeBuiltLeaveTheBakeDisabled) {
  struct Case {
    std::string text;
    bool built;
  };
  const Case cases[] = {
      {"100000", false},
      {"20000", false},
      {"-1", false},
      {"1e5", true},                                      // atoi reads 1
      {std::string(259, '0') + "8", false},               // the 8 lies beyond the buffer: 0
      {"8" + std::string(400, 'x'), true},
      {"\x81\x40" "4", false},                            // a double-byte space first: no number
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    fs::remove(PathOf("size.bmp"));
    RunSteps("type 1013 " + c.text + "\nclick 1005\nexpect-enabled 1006 " + (c.built ? "1" : "0") +
            "\ntype 1000 " + PathOf("size.bmp") + "\nclick 1006\n");
    EXPECT_EQ(fs::exists(PathOf("size.bmp")), c.built);
  }
}

// A light typed as text that is not a number, or beyond the float range,
// bakes as the light position it parses to: NaN, an infinity. A position
// whose length is not greater than 0 (NaN included) gives the zero light
// direction: Shade is then 0 without back-face shading and trunc(0 * 127 +
// 128) = 128 with it, and Shadow casts a zero ray that hits nothing: white.
TEST_F(BadDialogInput, LightsThatAreNotNumbersBakeAsNoLight) {
  struct Case {
    const char* page;
    int tab;
    int backFaces;
    uint8_t grey;
  };
  const Case cases[] = {{"shade", 1, 0, 0}, {"shade", 1, 1, 128}, {"shadow", 2, 0, 255}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.page) + " " + std::to_string(c.backFaces));
    fs::remove(PathOf("light.bmp"));
    const std::string page = c.page;
    RunSteps("type 1013 2\nclick 1005\ntab " + std::to_string(c.tab) + "\ncheck shade 1017 " +
            std::to_string(c.backFaces) + "\ntype " + page + " 1002 nan\ntype " + page + " 1008 nan(1)\ntype " +
            page + " 1009 -nan\ntype 1000 " + PathOf("light.bmp") + "\nclick 1006\n");
    const Bytes file = ReadBytes(PathOf("light.bmp"));
    ASSERT_EQ(file.size(), 54u + 8 * 2);
    for (const size_t row : {size_t(54), size_t(62)})
      for (size_t k = 0; k < 6; ++k) EXPECT_EQ(file[row + k], c.grey) << row + k;
  }
}

// Texts of hundreds of bytes, binary bytes and numbers beyond every range in
// every edit of the dialog, then a bake in every mode: each bake completes
// and writes a whole file, and the AO values the bake took are shown again at
// the next opening as the values they parsed to.
TEST_F(BadDialogInput, OverlongAndBinaryTextsInEveryEdit) {
  std::string binary;
  for (int i = 1; i < 256; ++i) binary += char(i == '\n' ? ' ' : i);
  const std::string junk[] = {std::string(300, '9'), "1e999", "-1e999", binary, std::string(600, 'z'),
                              "0x1p200", "nan(" + std::string(290, 'a') + ")"};
  for (const std::string& text : junk) {
    SCOPED_TRACE(text.substr(0, 16));
    std::string session = "type 1013 3\nclick 1005\ntype 1000 " + PathOf("junk.bmp") + "\n";
    for (const char* edit : {"shade 1002", "shade 1008", "shade 1009", "shadow 1002", "ao 1022", "ao 1024"})
      session += std::string("type ") + edit + " " + text + "\n";
    // At most 8 samples: a sample count of 10^299 saturates at 2^31 - 1.
    session += "type ao 1025 8\n";
    for (int tab = 0; tab < 4; ++tab) session += "tab " + std::to_string(tab) + "\nclick 1006\n";
    session += "click ao 1023\n";
    fs::remove(PathOf("junk.bmp"));
    RunSteps(session);
    const Bytes file = ReadBytes(PathOf("junk.bmp"));
    EXPECT_EQ(file.size(), 54u + 12 * 3);
  }
}

// The path edit is read from its first 259 bytes: a longer path names the
// file of its first 259 bytes.
TEST_F(BadDialogInput, AnOverlongPathIsCutAt259Bytes) {
  const std::string prefix = PathOf("");
  ASSERT_LT(prefix.size(), 200u);
  const std::string kept = prefix + std::string(259 - prefix.size(), 'p');
  RunSteps("type 1013 2\nclick 1005\ntype 1000 " + kept + "qqqq.bmp\nclick 1006\n");
  EXPECT_EQ(ReadBytes(kept).size(), 54u + 8 * 2);
  EXPECT_FALSE(fs::exists(kept + "qqqq.bmp"));
}

}  // namespace
