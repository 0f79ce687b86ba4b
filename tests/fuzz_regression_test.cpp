// Every input a fuzzer (fuzz/) found that broke something, replayed as the
// bytes it found, with what went wrong then and what must happen now.
//
// Bake inputs are decoded by fuzz/fuzz_document.h, the decoder the bake
// fuzzer itself uses, so the bytes mean the same document here; baker inputs
// are the argument lists the command-line fuzzer split at zero bytes, run
// through the real baker.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "../fuzz/fuzz_document.h"
#include "bake/average_distance.h"
#include "bake/bake_pass.h"
#include "bake/parallel_rows.h"
#include "bake/texel_table.h"
#include "document.h"
#include "image/bmp_file.h"
#include "mesh/face_records.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"
#include "test_support.h"
#include "window_internal.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// fuzz_bake

// The bake fuzzer's pipeline on one input: gathering, the table, the
// occluders, every mode, the average distance and the encoding. Returns the
// table's claimed texels.
class BakeFinding : public testing::Test {
 protected:
  void SetUp() override {
    dialog_ = MakeTestWindow(nullptr, "#32770", 0, "");
    progress_ = MakeTestWindow(dialog_, "msctls_progress32", 1019, "");
    MakeTestWindow(dialog_, "STATIC", kElapsedLabelId, "00:00");
  }
  void TearDown() override {
    FreeTexelTable(g_plugin.texelTable);
    g_plugin.texelTable = nullptr;
    g_plugin.texelTableSize = 0;
    ReleaseOccluderSet();
    g_plugin.pixelImage.Release();
    g_plugin.progressBar = nullptr;
    PlatformDestroyWindow(dialog_);
    SetBakeThreadCount(0);
  }

  int32_t Replay(const Bytes& bytes, host::Document& document, fuzzdoc::Settings& settings) {
    fuzzdoc::ByteReader in(bytes.data(), bytes.size());
    settings = fuzzdoc::ReadSettings(in);
    fuzzdoc::ReadDocument(in, document);
    BindStandInHost(document);
    SetBakeThreadCount(settings.threads);
    const int32_t size = settings.bake.textureSize;

    GatherFaceRecords();
    g_plugin.texelTable = BuildTexelTable(size);
    EXPECT_NE(g_plugin.texelTable, nullptr);
    if (g_plugin.texelTable == nullptr) return -1;
    g_plugin.texelTableSize = size;
    g_plugin.settings = settings.bake;
    g_plugin.progressBar = progress_;
    BuildOccluderSet();
    for (int32_t mode = kBakeNormal; mode <= kBakeAO; ++mode) {
      g_plugin.settings.mode = mode;
      SendMessageA(progress_, PBM_SETRANGE, 0, LPARAM(size) << 16);
      SendMessageA(progress_, PBM_SETSTEP, 1, 0);
      SendMessageA(progress_, PBM_SETPOS, 0, 0);
      RunBakePass(dialog_);
      EXPECT_EQ(SendMessageA(progress_, PBM_GETPOS, 0, 0), size) << "mode " << mode;
    }
    const double average = AverageOccluderDistance();
    EXPECT_TRUE(average >= 0.0 && average < 9999.9) << average;
    BmpImageFile* file = g_plugin.pixelImage.EncodeBmp();
    EXPECT_EQ(BmpFileSize(file), 54 + (3 * size + 3) / 4 * 4 * size);
    FreeBmpImageFile(file);

    int32_t claimed = 0;
    for (int32_t e = 0; e < size * size; ++e) claimed += g_plugin.texelTable[e].face != -1;
    return claimed;
  }

  HWND dialog_ = nullptr;
  HWND progress_ = nullptr;
};

// Found as a 12 s timeout (libFuzzer's limit was 10 s) inside the texel
// walk. It decodes to size 11 and an object of two identical 7-point faces
// whose corner 3 has u = 3528.14, so rail B and the cross lines are about
// 3527 UV units long: 1 + trunc(2 x 11 x 3527) = 77,595 intervals each way,
// 6 x 10^9 samples per face. Every interval count was within
// kMaxWalkIntervals (that bound alone admits (3.7 x 10^5)^2 samples a face),
// so both faces were walked, for minutes. Now a face is also held to
// kMaxWalkSamples in all and kMaxWalkSamplesPerTexel per texel (7.9 x 10^6
// samples at size 11): both faces are skipped and the table stays empty.
TEST_F(BakeFinding, WideUvFaceNoLongerWalksForMinutes) {
  const Bytes bytes = {
      0x6a, 0x77, 0x4f, 0x7b, 0xef, 0x9f, 0x5b, 0x2c, 0x87, 0xf4, 0x69, 0xad, 0x8d, 0x49, 0x13, 0xb2,
      0x4b, 0x01, 0x00, 0x61, 0x50, 0x00, 0x02, 0xf1, 0xea, 0x03, 0x37, 0x9a, 0x3b, 0x26, 0xf6, 0x7f,
      0x37, 0x65, 0xed, 0x9e, 0xf2, 0x65, 0xde, 0xc6, 0xcd, 0xab, 0x4a, 0xec, 0xd7, 0x65, 0x0d, 0xeb,
      0x98, 0xae, 0xe1, 0x3b, 0x7a, 0x79, 0x6f, 0x32, 0xe1, 0x9a, 0x27, 0x6a, 0x8c, 0x57, 0xa0, 0x9a,
      0x92, 0x00, 0x29, 0xad, 0xc1, 0x19, 0xac, 0x33, 0x9e, 0xc2, 0x1d, 0x42, 0xc5, 0x01, 0x00, 0x00,
      0x00, 0x00, 0x1d, 0xe5, 0xc2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1d,
      0xe5,
  };
  host::Document document;
  fuzzdoc::Settings settings;
  const int32_t claimed = Replay(bytes, document, settings);

  // The decoded input is the one described above.
  ASSERT_EQ(settings.bake.textureSize, 11);
  ASSERT_EQ(document.currentObject, 0);
  const host::Object& object = *document.objects[0];
  ASSERT_EQ(object.faces.size(), 2u);
  ASSERT_EQ(object.faces[0].points.size(), 7u);
  const Vec2 corner0 = object.faces[0].uvs[0], corner3 = object.faces[0].uvs[3];
  const double side = std::hypot(double(corner3.u) - corner0.u, double(corner3.v) - corner0.v);
  EXPECT_GT(side, 3500.0);
  // The interval bound admits it; the sample bounds do not.
  EXPECT_LE(2.0 * 11 * side, kMaxWalkIntervals);
  EXPECT_GT((2.0 * 11 * side) * (2.0 * 11 * side), kMaxWalkSamplesPerTexel * 11 * 11);

  EXPECT_EQ(claimed, 0);
}

// The sample bounds leave every face within the unit square walked at every
// size the table admits: its rails and cross lines are at most the diagonal
// long, so it takes at most (2 + 2 x size x sqrt 2)^2 samples.
TEST(WalkBounds, AdmitEveryFaceWithinTheUnitSquare) {
  const double largestSize = std::floor(std::sqrt(double(kMaxTexelTableBytes) / sizeof(TexelEntry)));
  ASSERT_EQ(largestSize, 17515.0);  // 2^33 / 28 = 306,783,378.3 entries
  for (const double size : {1.0, 2.0, 16.0, 1024.0, largestSize}) {
    const double walk = 2.0 + 2.0 * size * std::sqrt(2.0);
    EXPECT_LE(walk * walk, kMaxWalkSamples) << size;
    EXPECT_LE(walk * walk, kMaxWalkSamplesPerTexel * size * size) << size;
  }
}

// Every face whose UVs lie within a 16 x 16 square is walked at every size
// up to 8192: its rails and cross lines are at most the square's diagonal,
// 16 sqrt 2, long.
TEST(WalkBounds, AdmitEveryFaceWithinSixteenTextureWidthsUpTo8192) {
  for (const double size : {1.0, 16.0, 1448.0, 1449.0, 4096.0, 8192.0}) {
    const double walk = 2.0 + 2.0 * size * 16.0 * std::sqrt(2.0);
    EXPECT_LE(walk - 2.0, kMaxWalkIntervals) << size;
    EXPECT_LE(walk * walk, kMaxWalkSamples) << size;
    EXPECT_LE(walk * walk, kMaxWalkSamplesPerTexel * size * size) << size;
  }
}

// ---------------------------------------------------------------------------
// fuzz_cli_options

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

// Runs the baker with the arguments in `bytes`, split at zero bytes as the
// fuzzer splits them, from `folder`; returns the exit status and stderr.
int RunBaker(const Bytes& bytes, const std::string& folder, std::string* err) {
  std::vector<std::string> args(1);
  for (const uint8_t b : bytes) {
    if (b == 0) {
      args.emplace_back();
    } else {
      args.back() += char(b);
    }
  }
  int errPipe[2];
  if (pipe(errPipe) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(errPipe[1], 2);
    close(errPipe[0]);
    close(errPipe[1]);
    if (chdir(folder.c_str()) != 0) _exit(126);
    const std::string program = BakerPath();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(errPipe[1]);
  char buffer[4096];
  for (ssize_t n; (n = read(errPipe[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    err->append(buffer, size_t(n));
  }
  close(errPipe[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Found as a failed check on the baker's own session: an --out path with a
// line break became two session lines, so the plug-in was asked to type "a"
// as the path and then to run a step named "b.bmp". The bake then failed
// with "session line 8: unknown step" after loading everything. Now the
// path is refused before anything is read, saying why; nothing is written.
TEST(CliFinding, OutputPathWithALineBreakIsRefused) {
  const Bytes bytes = {'b', 'a', 'k', 'e', 0, 'm', '.', 'o', 'b', 'j', 0, '-', '-', 'o', 'u', 't', 0,
                       'a', '\n', 'b', '.', 'b', 'm', 'p'};
  const fs::path folder = fs::path(testing::TempDir()) / ("tamsink_fuzz_cli_" + std::to_string(getpid()));
  fs::create_directories(folder);
  ASSERT_TRUE(fs::exists(BakerPath())) << BakerPath() << ": build the tamsink target first";
  std::string err;
  EXPECT_EQ(RunBaker(bytes, folder.string(), &err), 2);
  EXPECT_EQ(err, "tamsink: the output path must not contain a line break\n");
  EXPECT_TRUE(fs::is_empty(folder));
  fs::remove_all(folder);
}

// Found the same way by a longer run after the fix above: strtod skips
// leading white space, line breaks included, so "--light 1,<111 line
// breaks>2,3" passed as three numbers, and the y text typed into the light
// edit broke its session line apart ("unknown step" once more). Every value
// typed into the dialog is now refused when it holds a line break, and the
// message shows the breaks as \n so that it stays one line. (The model is
// the empty argument; the options are read first.)
TEST(CliFinding, NumberWithLeadingLineBreaksIsRefused) {
  Bytes bytes = {'b', 'a', 'k', 'e', 0, 0, '-', '-', 'm', 'o', 'd', 'e', 0, 's', 'h', 'a', 'd', 'e', 0,
                 '-', '-', 'l', 'i', 'g', 'h', 't', 0, '1', ','};
  bytes.insert(bytes.end(), 111, '\n');
  bytes.insert(bytes.end(), {'2', ',', '3'});
  ASSERT_EQ(bytes.size(), 143u);
  const fs::path folder = fs::path(testing::TempDir()) / ("tamsink_fuzz_light_" + std::to_string(getpid()));
  fs::create_directories(folder);
  ASSERT_TRUE(fs::exists(BakerPath())) << BakerPath() << ": build the tamsink target first";
  std::string breaks;
  for (int i = 0; i < 111; ++i) breaks += "\\n";
  std::string err;
  EXPECT_EQ(RunBaker(bytes, folder.string(), &err), 2);
  EXPECT_EQ(err, "tamsink: --light must be three numbers X,Y,Z, not '1," + breaks + "2,3'\n");
  EXPECT_TRUE(fs::is_empty(folder));
  fs::remove_all(folder);
}

}  // namespace
