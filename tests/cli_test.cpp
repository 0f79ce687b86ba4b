// End to end through the real `tamsink` binary: exit status, messages and the
// files it writes or leaves alone.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct CliRun {
  int status = -1;
  std::string err;
  std::string out;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tamsink-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + Quote(dir_)).c_str()); }

  CliRun Tamsink(const std::string& args, bool inDir = false) {
    const std::string errPath = dir_ + "/stderr.txt";
    const std::string command = (inDir ? "cd " + Quote(dir_) + " && " : std::string()) +
                                Quote(TAMSINK_BINARY) + " " + args + " 2>" + Quote(errPath);
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer;
    for (size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) run.out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = Read(errPath);
    return run;
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& name) {
    struct stat st;
    return stat((dir_ + "/" + name).c_str(), &st) == 0;
  }
  // The pixel at (x, y) of a 24-bit BMP, y = 0 the top row: {r, g, b}.
  static std::array<int, 3> PixelOf(const std::string& bmp, int x, int y) {
    const auto u = [&](size_t i) { return static_cast<unsigned char>(bmp[i]); };
    const int width = int(u(18) | u(19) << 8), height = int(u(22) | u(23) << 8);
    const int stride = (3 * width + 3) / 4 * 4;
    const size_t at = 54 + size_t(height - 1 - y) * stride + 3 * size_t(x);
    return {u(at + 2), u(at + 1), u(at)};
  }

  std::string dir_;
};

// A unit cube centred at the origin, every face with its own four corners,
// counter-clockwise seen from outside as OBJ wants. Each face's UVs fill one
// cell of a 3 x 2 grid: +X, +Y, +Z in the upper row (OBJ v from 0.5 to 1),
// -X, -Y, -Z in the lower row.
std::string CubeObj(bool sharedCorners) {
  std::string obj = "o cube\n";
  // Corners of each face, counter-clockwise seen from outside.
  const int faces[6][4][3] = {
      {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},      // +X
      {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},      // +Y
      {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},      // +Z
      {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},  // -X
      {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},  // -Y
      {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}},  // -Z
  };
  std::vector<std::array<int, 3>> points;
  const auto vertex = [&](const int (&p)[3]) {
    if (sharedCorners)
      for (size_t i = 0; i < points.size(); ++i)
        if (points[i][0] == p[0] && points[i][1] == p[1] && points[i][2] == p[2]) return int(i) + 1;
    points.push_back({p[0], p[1], p[2]});
    obj += "v " + std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
    return int(points.size());
  };
  std::string faceLines;
  for (int f = 0; f < 6; ++f) {
    const double u0 = (f % 3) / 3.0, v0 = f < 3 ? 0.5 : 0.0;
    const double uv[4][2] = {{u0, v0}, {u0 + 1 / 3.0, v0}, {u0 + 1 / 3.0, v0 + 0.5}, {u0, v0 + 0.5}};
    faceLines += "f";
    for (int k = 0; k < 4; ++k) {
      const int v = vertex(faces[f][k]);
      char t[64];
      std::snprintf(t, sizeof t, "vt %.6f %.6f\n", uv[k][0], uv[k][1]);
      obj += t;
      faceLines += " " + std::to_string(v) + "/" + std::to_string(f * 4 + k + 1);
    }
    faceLines += "\n";
  }
  return obj + faceLines;
}

TEST_F(Cli, HelpAndVersion) {
  const CliRun help = Tamsink("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: tamsink bake MODEL.obj [options]", 0), 0u);
  const CliRun version = Tamsink("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tamsink ", 0), 0u);
}

TEST_F(Cli, CubeNormalMapFacesPointOutwardAndLineUpWithTheUVs) {
  const std::string model = Write("cube.obj", CubeObj(false));
  const CliRun run = Tamsink("bake " + Quote(model) + " --size 48 --quiet --out " + Quote(dir_ + "/n.bmp"));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string bmp = Read(dir_ + "/n.bmp");
  ASSERT_EQ(bmp.size(), 54u + 144u * 48u);
  // Cell centres of the 48 x 48 texture: columns 8, 24, 40; the upper OBJ row
  // (+X, +Y, +Z) is the top of the picture, rows 12; the lower one rows 36.
  // A unit normal component c gives trunc(c * 127 + 128): 1 -> 255, 0 -> 128,
  // -1 -> 1.
  struct Expect {
    int x, y, r, g, b;
  };
  const Expect cells[] = {{8, 12, 255, 128, 128}, {24, 12, 128, 255, 128}, {40, 12, 128, 128, 255},
                          {8, 36, 1, 128, 128},   {24, 36, 128, 1, 128},   {40, 36, 128, 128, 1}};
  for (const Expect& e : cells) {
    const auto p = PixelOf(bmp, e.x, e.y);
    EXPECT_EQ(p[0], e.r) << e.x << "," << e.y;
    EXPECT_EQ(p[1], e.g) << e.x << "," << e.y;
    EXPECT_EQ(p[2], e.b) << e.x << "," << e.y;
  }
}

TEST_F(Cli, SharedCornerCubeIsSmoothed) {
  // Each corner normal is the normalised sum of three face normals,
  // (±1, ±1, ±1) / sqrt 3; at the centre of the +X face the four corners
  // blend to (0.57735, 0, 0), and trunc(0.57735 * 127 + 128) = 201.
  const std::string model = Write("cube.obj", CubeObj(true));
  const CliRun run = Tamsink("bake " + Quote(model) + " --size 48 --quiet --out " + Quote(dir_ + "/n.bmp"));
  ASSERT_EQ(run.status, 0) << run.err;
  const auto p = PixelOf(Read(dir_ + "/n.bmp"), 8, 12);
  // The texel keeps its first sample, a little off the face's centre, where
  // y and z lean by a few hundredths; x stays near 0.577 either way.
  EXPECT_NEAR(p[0], 201, 2);
  EXPECT_NEAR(p[1], 128, 8);
  EXPECT_NEAR(p[2], 128, 8);
}

TEST_F(Cli, SeveralModesInOneRun) {
  const std::string model = Write("cube.obj", CubeObj(false));
  const CliRun run = Tamsink("bake " + Quote(model) + " --size 16 --quiet --mode normal,shade,shadow,ao --samples 4 --out " +
                          Quote(dir_ + "/c_{mode}.bmp"));
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* mode : {"normal", "shade", "shadow", "ao"})
    EXPECT_EQ(Read(dir_ + "/c_" + mode + ".bmp").size(), 54u + 48u * 16u) << mode;
}

TEST_F(Cli, DefaultOutputIsNextToTheModel) {
  const std::string model = Write("cube.obj", CubeObj(false));
  const CliRun run = Tamsink("bake " + Quote(model) + " --size 8 --quiet --mode shade");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Exists("cube_shade.bmp"));
}

TEST_F(Cli, BadInputIsRefusedAndWritesNothing) {
  const std::string cube = Write("cube.obj", CubeObj(false));
  const std::string broken = Write("broken.obj", "v 0 0 0\nv 1 0 0\nf 1 2 9\n");
  const std::string existing = Write("keep.bmp", "precious");
  struct Case {
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"", "tamsink: no command given (try 'tamsink --help')"},
      {"frobnicate", "tamsink: unknown command 'frobnicate' (try 'tamsink --help')"},
      {"bake", "tamsink: bake needs a model file: tamsink bake MODEL.obj"},
      {"bake " + Quote(dir_ + "/missing.obj"), "tamsink: " + dir_ + "/missing.obj: cannot open the file"},
      {"bake " + Quote(broken), "tamsink: " + broken + ":3: face refers to vertex 9, the file has 2"},
      {"bake " + Quote(cube) + " --object ball", "tamsink: " + cube + ": no object 'ball' (objects: 'cube')"},
      {"bake " + Quote(cube) + " --size 0", "tamsink: --size must be a whole number of at least 1, not '0'"},
      {"bake " + Quote(cube) + " --size twelve", "tamsink: --size must be a whole number of at least 1, not 'twelve'"},
      {"bake " + Quote(cube) + " --mode sepia", "tamsink: unknown mode 'sepia' (modes: normal, shade, shadow, ao)"},
      {"bake " + Quote(cube) + " --light 1,2", "tamsink: --light must be three numbers X,Y,Z, not '1,2'"},
      {"bake " + Quote(cube) + " --distance -4", "tamsink: --distance must be a number of at least 0 or 'auto', not '-4'"},
      {"bake " + Quote(cube) + " --scale 0", "tamsink: --scale must be a number greater than 0, not '0'"},
      {"bake " + Quote(cube) + " --bogus", "tamsink: unknown option '--bogus'"},
      {"bake " + Quote(cube) + " --mode normal,ao --out " + Quote(existing),
       "tamsink: --out needs a {mode} placeholder when several modes are baked"},
      {"bake " + Quote(cube) + " --out " + Quote(dir_ + "/no/such/folder/x.bmp"),
       "tamsink: " + dir_ + "/no/such/folder/x.bmp: the folder does not exist or cannot be written"},
  };
  for (const Case& c : cases) {
    const CliRun run = Tamsink(c.args);
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_EQ(run.err, c.message + "\n") << c.args;
  }
  const CliRun huge = Tamsink("bake " + Quote(cube) + " --size 100000");
  EXPECT_EQ(huge.status, 2);
  EXPECT_EQ(huge.err.rfind("tamsink: --size 100000 is too large", 0), 0u) << huge.err;
  EXPECT_EQ(Read(existing), "precious");
  EXPECT_FALSE(Exists("cube_normal.bmp"));
}

// A floor facing up with a roof 5 units above it facing down, both covering
// the whole UV square.
const char kFloorAndRoof[] =
    "o floor\nv -10 0 -10\nv 10 0 -10\nv 10 0 10\nv -10 0 10\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 4/4 3/3 2/2\n"
    "o roof\nv -10 5 -10\nv 10 5 -10\nv 10 5 10\nv -10 5 10\nf 5/1 6/2 7/3 8/4\n";

TEST_F(Cli, HiddenObjectsCastNothing) {
  const std::string model = Write("scene.obj", kFloorAndRoof);
  const CliRun shadowed = Tamsink("bake " + Quote(model) + " --size 4 --quiet --mode shadow --out " + Quote(dir_ + "/a.bmp"));
  ASSERT_EQ(shadowed.status, 0) << shadowed.err;
  const CliRun lit = Tamsink("bake " + Quote(model) + " --size 4 --quiet --mode shadow --hide roof --out " + Quote(dir_ + "/b.bmp"));
  ASSERT_EQ(lit.status, 0) << lit.err;
  // The light (0, 1, 0) falls straight down: the roof shadows every texel
  // of the floor; hidden, it shadows none.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(PixelOf(Read(dir_ + "/a.bmp"), x, y), (std::array<int, 3>{0, 0, 0}));
      EXPECT_EQ(PixelOf(Read(dir_ + "/b.bmp"), x, y), (std::array<int, 3>{255, 255, 255}));
    }
}

TEST_F(Cli, AutoDistanceUsesTheSuggestion) {
  // Every floor texel's ray meets the roof at 5, so the suggestion is 5.0.
  // With one sample the only ray is that one, hitting at 5 < 5 is false: the
  // texel counts nothing and stays white; a distance of 6 would give
  // trunc(255 - 1/6 * 255) = 212.
  const std::string model = Write("scene.obj", kFloorAndRoof);
  const CliRun run = Tamsink("bake " + Quote(model) + " --size 2 --quiet --mode ao --samples 1 --distance auto --out " +
                             Quote(dir_ + "/auto.bmp"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(PixelOf(Read(dir_ + "/auto.bmp"), 0, 0), (std::array<int, 3>{255, 255, 255}));
  const CliRun fixed = Tamsink("bake " + Quote(model) + " --size 2 --quiet --mode ao --samples 1 --distance 6 --out " +
                               Quote(dir_ + "/six.bmp"));
  ASSERT_EQ(fixed.status, 0) << fixed.err;
  EXPECT_EQ(PixelOf(Read(dir_ + "/six.bmp"), 0, 0), (std::array<int, 3>{212, 212, 212}));
}

TEST_F(Cli, RawSession) {
  const std::string model = Write("scene.obj", kFloorAndRoof);
  const std::string good = Write("good.session", "type 1013 2\nclick 1005\ntype 1000 " + dir_ +
                                                     "/s.bmp\nclick 1006\nexpect 1013 2\nfocus 1013\nkey enter\n");
  const CliRun run = Tamsink("bake " + Quote(model) + " --quiet --session " + Quote(good));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Exists("s.bmp"));
  const std::string failing = Write("bad.session", "expect 1013 99\nkey escape\n");
  const CliRun bad = Tamsink("bake " + Quote(model) + " --quiet --session " + Quote(failing));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("session line 1:"), std::string::npos) << bad.err;
  const std::string malformed = Write("worse.session", "frobnicate 3\n");
  const CliRun worse = Tamsink("bake " + Quote(model) + " --quiet --session " + Quote(malformed));
  EXPECT_EQ(worse.status, 2);
  EXPECT_EQ(worse.err.rfind("tamsink: " + malformed + ":1: ", 0), 0u) << worse.err;
}

TEST_F(Cli, DoubleDashEndsOptions) {
  Write("--odd.obj", CubeObj(false));
  const CliRun refused = Tamsink("bake --size 8 --quiet --odd.obj", true);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "tamsink: unknown option '--odd.obj'\n");
  const CliRun run = Tamsink("bake --size 8 --quiet --out o.bmp -- --odd.obj", true);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Exists("o.bmp"));
}

}  // namespace
