#include "bake/bake_pass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bake/random_source.h"
#include "document.h"
#include "platform_test.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"
#include "test_support.h"
#include "window_internal.h"

namespace {

DWORD g_fakeTicks = 0;
DWORD FakeTicks() { return g_fakeTicks; }

TexelEntry Covered(Vec3 normal, Vec3 position = {0, 0, 0}) { return TexelEntry{0, normal, position}; }
TexelEntry Empty() { return TexelEntry{-1, {0, 0, 0}, {0, 0, 0}}; }

// A dialog with the progress bar and the elapsed-time label the pass drives,
// the stand-in host with an empty document, and a texel table of the test's
// making.
class BakePass : public ::testing::Test {
 protected:
  void SetUp() override {
    BindStandInHost(document_);
    dialog_ = MakeTestWindow(nullptr, "#32770", 0, "");
    progress_ = MakeTestWindow(dialog_, "msctls_progress32", 1019, "");
    label_ = MakeTestWindow(dialog_, "STATIC", kElapsedLabelId, "00:00");
    g_plugin.progressBar = progress_;
    g_plugin.settings = BakeSettings{};
    g_plugin.settings.lightPosition = Vec3{0, 1, 0};
    g_randomSource = RandomSource{};
    PlatformSetTickSource(&FakeTicks);
    g_fakeTicks = 5000;
    g_plugin.bakeStartTick = 5000;
  }
  void TearDown() override {
    PlatformSetTickSource(nullptr);
    PlatformDestroyWindow(dialog_);
    g_plugin.progressBar = nullptr;
    g_plugin.texelTable = nullptr;
    g_plugin.texelTableSize = 0;
    ReleaseOccluderSet();
    g_plugin.pixelImage.Release();
  }

  // Bakes a size x size table given row by row.
  void Bake(int mode, std::vector<TexelEntry> table, int size) {
    table_ = std::move(table);
    ASSERT_EQ(table_.size(), size_t(size) * size);
    g_plugin.texelTable = table_.data();
    g_plugin.texelTableSize = size;
    g_plugin.settings.textureSize = size;
    g_plugin.settings.mode = mode;
    SendMessageA(progress_, PBM_SETRANGE, 0, LPARAM(size & 0xFFFF) << 16);
    SendMessageA(progress_, PBM_SETSTEP, 1, 0);
    SendMessageA(progress_, PBM_SETPOS, 0, 0);
    RunBakePass(dialog_);
  }
  uint32_t Pixel(int x, int y) {
    const uint32_t* p = g_plugin.pixelImage.PixelAt(x, y);
    return p != nullptr ? *p : 0xDEADBEEFu;
  }
  // The colour of a 1 x 1 bake of one texel.
  uint32_t BakeOne(int mode, const TexelEntry& texel) {
    Bake(mode, {texel}, 1);
    return Pixel(0, 0);
  }
  std::string Label() {
    char text[32];
    GetDlgItemTextA(dialog_, kElapsedLabelId, text, sizeof text);
    return text;
  }

  host::Document document_;
  HWND dialog_ = nullptr, progress_ = nullptr, label_ = nullptr;
  std::vector<TexelEntry> table_;
};

uint32_t Grey(uint32_t v) { return 0xFF000000u | v << 16 | v << 8 | v; }

TEST_F(BakePass, NormalColours) {
  struct Case {
    Vec3 n;
    uint32_t word;
  };
  // Channel = trunc(c * 127 + 128): -1, 0, 1 give 1, 128, 255; over-long
  // normals clamp into the byte, and a NaN channel is 0.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {{0, 0, 1}, 0xFF8080FFu},       {{1, 0, 0}, 0xFFFF8080u},     {{0, 0, -1}, 0xFF808001u},
      {{0.5f, -0.5f, 0}, 0xFFBF4080u}, {{1.008f, 0, 0}, 0xFFFF8080u}, {{-3, 0, 0}, 0xFF008080u},
      {{nan, 0, 0}, 0xFF008080u},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BakeOne(kBakeNormal, Covered(c.n)), c.word) << c.n.x << "," << c.n.y << "," << c.n.z;
}

TEST_F(BakePass, ShadeValues) {
  struct Case {
    Vec3 light, n;
    int backFaces;
    uint32_t grey;
  };
  const Case cases[] = {
      {{0, 1, 0}, {0, 1, 0}, 0, 255},     {{0, 1, 0}, {0, -1, 0}, 0, 0},
      {{0, 1, 0}, {0, -1, 0}, 1, 1},      {{0, 1, 0}, {0, 0.5f, 0}, 0, 127},
      {{0, 1, 0}, {0, 0.5f, 0}, 1, 191},  {{0, 10, 0}, {0, 0.5f, 0}, 0, 127},
      {{0, 0, 0}, {0, 1, 0}, 0, 0},       {{0, 0, 0}, {0, 1, 0}, 1, 128},
      // L = (0.6f, 0, 0.8f); d = 0.6f^2 + 0.8f^2 in double is 1.0000000477, and
      // 255.00001 truncates to 255.
      {{3, 0, 4}, {0.6f, 0, 0.8f}, 0, 255},
      {{0, 1, 0}, {0, 0.25f, 0}, 0, 63},  // 63.75
  };
  for (const Case& c : cases) {
    g_plugin.settings.lightPosition = c.light;
    g_plugin.settings.shadeBackFaces = c.backFaces;
    EXPECT_EQ(BakeOne(kBakeShade, Covered(c.n)), Grey(c.grey))
        << "light y " << c.light.y << " n.y " << c.n.y << " back " << c.backFaces;
  }
}

TEST_F(BakePass, ShadowWithoutOccluders) {
  // Facing away from the light is black even with nothing to cast a shadow.
  EXPECT_EQ(BakeOne(kBakeShadow, Covered({0, -1, 0})), kBlack);
  EXPECT_EQ(BakeOne(kBakeShadow, Covered({0, 1, 0})), kWhite);
  g_plugin.settings.lightPosition = Vec3{0, 0, 0};
  EXPECT_EQ(BakeOne(kBakeShadow, Covered({0, 1, 0})), kWhite);  // a zero direction hits nothing
}

TEST_F(BakePass, ShadowRayStartsAtPositionPlusNormal) {
  // A roof at y = 5 facing down (corners clockwise seen from below). The
  // texel at y = 0 is shadowed; one at y = 4.5 with a unit normal starts its
  // ray at 5.5, above the roof, and is lit.
  host::Object& roof = host::AddObject(document_, "roof");
  AddFace(roof, {{-10, 5, -10}, {-10, 5, 10}, {10, 5, 10}, {10, 5, -10}});
  EXPECT_EQ(BakeOne(kBakeShadow, Covered({0, 1, 0}, {0, 0, 0})), kBlack);
  EXPECT_EQ(BakeOne(kBakeShadow, Covered({0, 1, 0}, {0, 4.5f, 0})), kWhite);
  roof.visible = false;  // hidden objects cast nothing
  EXPECT_EQ(BakeOne(kBakeShadow, Covered({0, 1, 0}, {0, 0, 0})), kWhite);
}

TEST_F(BakePass, AmbientOcclusionValues) {
  host::Object& roof = host::AddObject(document_, "roof");
  // Facing down, as above.
  AddFace(roof, {{-10, 25, -10}, {-10, 25, 10}, {10, 25, 10}, {10, 25, -10}});
  g_plugin.settings.aoSearchDistance = 100.0f;
  // S = 1: only the first ray, from P along N, counts; a hit at 25 adds 75
  // and 255 - 75 / 1 / 100 * 255 = 63.75.
  g_plugin.settings.aoSampleCount = 1;
  EXPECT_EQ(BakeOne(kBakeAO, Covered({0, 1, 0})), Grey(63));
  // A hit at 25 is farther than a search distance of 20: nothing counts.
  g_plugin.settings.aoSearchDistance = 20.0f;
  EXPECT_EQ(BakeOne(kBakeAO, Covered({0, 1, 0})), Grey(255));
  // S = 0 or D = 0: the quotient is not finite and the texel is black.
  g_plugin.settings.aoSampleCount = 0;
  g_plugin.settings.aoSearchDistance = 100.0f;
  EXPECT_EQ(BakeOne(kBakeAO, Covered({0, 1, 0})), Grey(0));
  g_plugin.settings.aoSampleCount = 20;
  g_plugin.settings.aoSearchDistance = 0.0f;
  EXPECT_EQ(BakeOne(kBakeAO, Covered({0, 1, 0})), Grey(0));
  EXPECT_EQ(g_randomSource.state, [] {
    RandomSource r;
    RandomSkip(r, 3 * 19);
    return r.state;
  }()) << "19 further rays of three draws each";
}

TEST_F(BakePass, AmbientOcclusionWithoutOccluders) {
  g_plugin.settings.aoSampleCount = 20;
  g_plugin.settings.aoSearchDistance = 100.0f;
  Bake(kBakeAO, {Covered({0, 1, 0}), Empty(), Covered({1, 0, 0}), Covered({0, 0, -1})}, 2);
  EXPECT_EQ(Pixel(0, 0), Grey(255));
  EXPECT_EQ(Pixel(1, 0), kBackgroundColour);
  EXPECT_EQ(Pixel(0, 1), Grey(255));
  EXPECT_EQ(Pixel(1, 1), Grey(255));
  // Three covered texels of 19 further rays, three draws each; the empty
  // texel draws nothing.
  RandomSource expected;
  RandomSkip(expected, 3 * 19 * 3);
  EXPECT_EQ(g_randomSource.state, expected.state);
}

TEST_F(BakePass, FirstFurtherAmbientRayFollowsTheDraws) {
  // From a fresh source, for N = (1, 0, 0) and spread 120 the first further
  // ray uses the draws 41 (tilt) and 6334 (turn): tilt = (41/32768 - 0.5) *
  // 1.3333334 = -0.66500, turn = 0.38660, V1 = (cos tilt, 0, -sin tilt) =
  // (0.78692, 0, 0.61706), turned about N into V2 = (0.78692, -0.23265,
  // 0.57152). A two-sided plate 10 units from Q = P + N across that direction
  // is hit at 10: sum = 90, and 255 - 90 / 2 / 100 * 255 = 140.25.
  const Vec3 v2{0.78692f, -0.23265f, 0.57152f};
  const Vec3 q{1, 0, 0};
  const Vec3 centre{q.x + 10 * v2.x, q.y + 10 * v2.y, q.z + 10 * v2.z};
  // Two unit vectors across v2.
  const Vec3 a{0.0f, 0.92632f, 0.37707f};  // v2 x (1,0,0), normalised by hand
  const Vec3 b{v2.y * a.z - v2.z * a.y, v2.z * a.x - v2.x * a.z, v2.x * a.y - v2.y * a.x};
  auto at = [&](float s, float t) {
    return Vec3{centre.x + s * a.x + t * b.x, centre.y + s * a.y + t * b.y, centre.z + s * a.z + t * b.z};
  };
  host::Object& plate = host::AddObject(document_, "plate");
  AddFace(plate, {at(-0.5f, -0.5f), at(0.5f, -0.5f), at(0.5f, 0.5f), at(-0.5f, 0.5f)});
  AddFace(plate, {at(-0.5f, -0.5f), at(-0.5f, 0.5f), at(0.5f, 0.5f), at(0.5f, -0.5f)});
  g_plugin.settings.aoSampleCount = 2;
  g_plugin.settings.aoSearchDistance = 100.0f;
  g_plugin.settings.aoSpreadAngle = 120.0f;
  EXPECT_EQ(BakeOne(kBakeAO, Covered({1, 0, 0})), Grey(140));

  // The next bake draws on from where this one stopped: its tilt and turn
  // differ and the ray misses the plate.
  EXPECT_EQ(BakeOne(kBakeAO, Covered({1, 0, 0})), Grey(255));
  // A fresh source gives the first picture again.
  g_randomSource = RandomSource{};
  EXPECT_EQ(BakeOne(kBakeAO, Covered({1, 0, 0})), Grey(140));
}

TEST(AngleTables, HoldTheRotationsCosinesAndSines) {
  // Every draw's tilt (for a few spreads) and turn, as the AO rotation
  // rounds them: angles as float parameters, cosine and sine as floats.
  for (const float spread : {120.0f, 45.0f, 0.0f, 360.0f}) {
    BakeSettings settings;
    settings.aoSpreadAngle = spread;
    std::unique_ptr<AngleTables> tables(new AngleTables);
    FillAngleTables(settings, *tables);
    const float k = float(double(spread) * 0.011111111f);
    for (int draw = 0; draw < 32768; ++draw) {
      const float tilt = float((draw / 32768.0 - 0.5) * k), turn = float(draw / 16384.0);
      ASSERT_EQ(FloatBits(tables->tilt[draw].cosine), FloatBits(float(Cosine(tilt)))) << draw;
      ASSERT_EQ(FloatBits(tables->tilt[draw].sine), FloatBits(float(Sine(tilt)))) << draw;
      ASSERT_EQ(FloatBits(tables->turn[draw].cosine), FloatBits(float(Cosine(turn)))) << draw;
      ASSERT_EQ(FloatBits(tables->turn[draw].sine), FloatBits(float(Sine(turn)))) << draw;
    }
  }
}

TEST_F(BakePass, LargeAoPassesLookUpWhatTexelsAloneCompute) {
  // A 64 x 64 pass uses the angle tables; every texel must come out as
  // BakeTexel computes it without them from the same random state. Oblique
  // normals make the tilt axis need normalising; a box of plates around
  // the texels gives hits at many distances.
  host::Object& box = host::AddObject(document_, "box");
  for (int side = 0; side < 6; ++side) {
    const int axis = side / 2;
    const float w = side % 2 == 0 ? -4.0f : 4.0f;
    auto at = [&](float s, float t) {
      float c[3];
      c[axis] = w;
      c[(axis + 1) % 3] = s;
      c[(axis + 2) % 3] = t;
      return Vec3{c[0], c[1], c[2]};
    };
    AddFace(box, {at(-4, -4), at(4, -4), at(4, 4), at(-4, 4)});
    AddFace(box, {at(-4, -4), at(-4, 4), at(4, 4), at(4, -4)});
  }
  std::vector<TexelEntry> table;
  std::mt19937 random(3);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int i = 0; i < 64 * 64; ++i) {
    if (i % 7 == 3) {
      table.push_back(Empty());
      continue;
    }
    Vec3 n{unit(random), unit(random), unit(random)};
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    n = Vec3{n.x / length, n.y / length, n.z / length};
    table.push_back(Covered(n, Vec3{unit(random), unit(random), unit(random)}));
  }
  g_plugin.settings.aoSampleCount = 6;
  g_plugin.settings.aoSearchDistance = 6.0f;
  g_plugin.settings.aoSpreadAngle = 150.0f;
  g_randomSource = RandomSource{12345u};
  const RandomSource start = g_randomSource;
  Bake(kBakeAO, table, 64);

  BakeContext context;
  context.settings = g_plugin.settings;
  context.light = LightDirection(g_plugin.settings.lightPosition);
  RandomSource draws = start;
  int64_t greys = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const TexelEntry& texel = table_[size_t(y) * 64 + size_t(x)];
      if (texel.face == -1) continue;
      const uint32_t expected = BakeTexel(texel, context, draws);
      ASSERT_EQ(Pixel(x, y), expected) << x << "," << y;
      greys += expected != Grey(255);
    }
  EXPECT_GT(greys, 1000);  // the box does occlude
}

TEST_F(BakePass, EmptyTexelsStayGreenAndDrawNothing) {
  g_plugin.settings.aoSampleCount = 20;
  Bake(kBakeAO, std::vector<TexelEntry>(9, Empty()), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Pixel(x, y), kBackgroundColour);
  EXPECT_EQ(g_randomSource.state, 1u);
}

TEST_F(BakePass, TexelGoesToThePixelOfItsColumnAndRow) {
  // Entry r * size + c is pixel (c, r); pixel (x, y) with y = 0 the top row.
  std::vector<TexelEntry> table(6 * 6, Empty());
  table[1 * 6 + 4] = Covered({1, 0, 0});
  Bake(kBakeNormal, table, 6);
  EXPECT_EQ(Pixel(4, 1), 0xFFFF8080u);
  EXPECT_EQ(Pixel(1, 4), kBackgroundColour);
  EXPECT_EQ(g_plugin.pixelImage.pixels[(6 - 1 - 1) * 6 + 4], 0xFFFF8080u);
}

TEST_F(BakePass, FilterMixesBackgroundIntoCoveredPixels) {
  // 2 x 2: three white-ish normal texels (0xFFFF8080) and one green texel.
  // Every pixel of a 2 x 2 image is a corner averaging all 4 samples:
  // red (255*3 + 0) / 4 = 191, green (128*3 + 255) / 4 = 159,
  // blue (128*3 + 0) / 4 = 96.
  g_plugin.settings.applyFilter = 1;
  Bake(kBakeNormal, {Covered({1, 0, 0}), Covered({1, 0, 0}), Covered({1, 0, 0}), Empty()}, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(Pixel(x, y), 0xFFBF9F60u) << x << "," << y;
}

TEST_F(BakePass, ProgressStepsOncePerRowAndEndsFull) {
  Bake(kBakeNormal, std::vector<TexelEntry>(5 * 5, Covered({0, 0, 1})), 5);
  EXPECT_EQ(SendMessageA(progress_, PBM_GETPOS, 0, 0), 5);
}

TEST_F(BakePass, ElapsedLabel) {
  struct Case {
    uint32_t start, now;
    const char* label;
  };
  const Case cases[] = {
      {5000, 5999, "00:00"},
      {1000, 76000, "01:15"},
      {0, 6000000, "100:00"},
      {0xFFFFF000u, 75000 - 4096, "01:15"},  // the tick counter wrapped
  };
  for (const Case& c : cases) {
    g_plugin.bakeStartTick = c.start;
    g_fakeTicks = c.now;
    Bake(kBakeNormal, {Covered({0, 0, 1})}, 1);
    EXPECT_EQ(Label(), c.label);
  }
}

TEST_F(BakePass, MissingOrOutdatedTableBakesNoTexel) {
  std::vector<TexelEntry> small(4, Covered({0, 0, 1}));
  g_plugin.texelTable = small.data();
  g_plugin.texelTableSize = 2;
  g_plugin.settings.textureSize = 8;  // the size changed since the table was built
  g_plugin.settings.mode = kBakeNormal;
  RunBakePass(dialog_);
  ASSERT_TRUE(g_plugin.pixelImage.IsValid());
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(Pixel(x, y), kBackgroundColour);
  g_plugin.texelTable = nullptr;
  RunBakePass(dialog_);
  EXPECT_EQ(Pixel(0, 0), kBackgroundColour);
}

TEST_F(BakePass, SizeZeroOrNegativeVisitsNoRow) {
  for (const int size : {0, -3}) {
    g_plugin.settings.textureSize = size;
    g_plugin.texelTable = nullptr;
    SendMessageA(progress_, PBM_SETRANGE, 0, LPARAM(100) << 16);
    SendMessageA(progress_, PBM_SETPOS, 0, 0);
    RunBakePass(dialog_);
    EXPECT_FALSE(g_plugin.pixelImage.IsValid());
    EXPECT_EQ(SendMessageA(progress_, PBM_GETPOS, 0, 0), 0);
  }
}

TEST_F(BakePass, OccluderSetIsRebuiltInEveryMode) {
  host::Object& o = host::AddObject(document_, "o");
  AddFace(o, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  BakeOne(kBakeNormal, Covered({0, 0, 1}));
  EXPECT_EQ(g_plugin.occluderCount, 1);
}

TEST(LightDirection, IsTheUnitPositionOrZero) {
  const Vec3 l = LightDirection(Vec3{0, 10, 0});
  EXPECT_EQ(l.x, 0.0f);
  EXPECT_EQ(l.y, 1.0f);
  const Vec3 z = LightDirection(Vec3{0, 0, 0});
  EXPECT_EQ(z.x, 0.0f);
  EXPECT_EQ(z.y, 0.0f);
  EXPECT_EQ(z.z, 0.0f);
}

}  // namespace
