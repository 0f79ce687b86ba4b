// The main dialog and its pages, driven the way a user drives them: the
// plug-in library is loaded by its path like the host loads it, and every
// case runs whole bake invocations (MQModifyObject) with a session of typed
// texts, clicks, tab changes and keys, then looks at the controls and at the
// BMP files written. Also the number parsing behind every control read.
//
// Each case loads the library afresh, so its stored settings and random
// source start from their load-time values.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "document.h"
#include "platform_hooks.h"
#include "session.h"
#include "ui/control_text.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// Number parsing: atoi and atof for every text where those are defined, and a
// saturated value where they are not.

TEST(ControlTextTest, IntegersParseLikeAtoi) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"64", 64},
      {"  128", 128},        // leading blanks are skipped
      {"\t-5", -5},
      {"+7", 7},
      {"12abc", 12},         // the leading number only
      {"3.9", 3},            // no rounding
      {"abc", 0},            // no number at all
      {"", 0},
      {"-", 0},
      {"0x10", 0},           // decimal only
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      // Beyond the range atoi has no defined result; the value saturates.
      {"2147483648", 2147483647},
      {"99999999999999999999999", 2147483647},
      {"-2147483649", std::numeric_limits<int32_t>::min()},
      {"-99999999999999999999999", std::numeric_limits<int32_t>::min()},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseIntText(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ControlTextTest, RealsParseLikeAtofAndRoundToFloat) {
  struct Case {
    const char* text;
    float expected;
  };
  const Case cases[] = {
      {"2.6", 2.6f},  // the float nearest 2.6, not the double
      {" -3", -3.0f},
      {"100.0xyz", 100.0f},
      {"1e3", 1000.0f},
      {"abc", 0.0f},
      {"", 0.0f},
      {".5", 0.5f},
      // FLT_MAX itself, and a double just below the rounding threshold, stay
      // finite; from FLT_MAX + half an ulp on the float is infinite.
      {"3.4028234663852886e38", std::numeric_limits<float>::max()},
      {"3.4028235677973362e38", std::numeric_limits<float>::max()},
      {"3.4028235677973366e38", std::numeric_limits<float>::infinity()},
      {"1e39", std::numeric_limits<float>::infinity()},
      {"-1e39", -std::numeric_limits<float>::infinity()},
      {"1e400", std::numeric_limits<float>::infinity()},  // beyond double too
  };
  for (const Case& c : cases) {
    const float value = ParseFloatText(c.text);
    EXPECT_EQ(value, c.expected) << '"' << c.text << '"';
    EXPECT_EQ(std::signbit(value), std::signbit(c.expected)) << '"' << c.text << '"';
  }
  EXPECT_EQ(ParseFloatText("-0"), 0.0f);
  EXPECT_TRUE(std::signbit(ParseFloatText("-0")));
}

TEST(ControlTextTest, StoringADoubleAsFloatRoundsToNearest) {
  EXPECT_EQ(StoreAsFloat(0.1), 0.1f);
  EXPECT_EQ(StoreAsFloat(-1e300), -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(StoreAsFloat(std::nan(""))));
  // Just below the threshold rounds down to FLT_MAX; the threshold itself is
  // a tie that goes to the even neighbour, 2^128, which is infinity.
  EXPECT_EQ(StoreAsFloat(std::nextafter(0x1.ffffffp+127, 0.0)), std::numeric_limits<float>::max());
  EXPECT_EQ(StoreAsFloat(0x1.ffffffp+127), std::numeric_limits<float>::infinity());
}

// ---------------------------------------------------------------------------
// Whole invocations.

// The 54-byte header of a 2 x 2 24-bit BMP, field by field: rows of 6 pixel
// bytes padded to 8, so the file is 54 + 2 * 8 = 70 bytes.
const Bytes kHeader2x2 = {
    0x42, 0x4D,              // "BM"
    70, 0, 0, 0,             // bfSize
    0, 0, 0, 0,              // bfReserved1, bfReserved2
    54, 0, 0, 0,             // bfOffBits
    40, 0, 0, 0,             // biSize
    2, 0, 0, 0,              // biWidth
    2, 0, 0, 0,              // biHeight, positive: bottom-up
    1, 0,                    // biPlanes
    24, 0,                   // biBitCount
    0, 0, 0, 0,              // biCompression
    0, 0, 0, 0,              // biSizeImage
    121, 0, 0, 0,            // biXPelsPerMeter
    121, 0, 0, 0,            // biYPelsPerMeter
    0, 0, 0, 0,              // biClrUsed
    0, 0, 0, 0,              // biClrImportant
};

using Bgr = std::array<uint8_t, 3>;  // a file pixel: blue, green, red

// A 2 x 2 file from its picture, given top row first as the picture looks:
// texel (column c, row r) is pixel (x = c, y = r) and y = 0 is the top row,
// which a bottom-up file stores last.
Bytes File2x2(Bgr topLeft, Bgr topRight, Bgr bottomLeft, Bgr bottomRight) {
  Bytes file = kHeader2x2;
  for (const std::array<Bgr, 2>& row : {std::array<Bgr, 2>{bottomLeft, bottomRight},
                                        std::array<Bgr, 2>{topLeft, topRight}}) {
    for (const Bgr& p : row) file.insert(file.end(), p.begin(), p.end());
    file.insert(file.end(), {0, 0});  // 6 pixel bytes padded to 8
  }
  return file;
}

Bytes Uniform2x2(Bgr p) { return File2x2(p, p, p, p); }

Bgr Grey(uint8_t v) { return {v, v, v}; }

const Bgr kGreen = {0x00, 0xFF, 0x00};  // an uncovered texel
const Bgr kBlack = {0, 0, 0};
const Bgr kWhite = {255, 255, 255};
// Normal map colour of the normal (0, 0, -1): R = trunc(0 * 127 + 128) = 128,
// G likewise, B = trunc(-1 * 127 + 128) = 1.
const Bgr kNormalMinusZ = {0x01, 0x80, 0x80};

// The object being baked: one quad whose positions equal its UVs, covering
// the whole UV square. Its corners (0,0,0), (1,0,0), (1,1,0), (0,1,0) are
// seen counter-clockwise from +z, so its normal (and every smoothed vertex
// normal, each vertex belonging to this face only) is exactly (0, 0, -1). At
// size 2 the walk takes 1 + trunc(2 * 2 * 1) = 5 intervals each way, with
// samples at every 0.2 in u and v, so all four texels are covered, each with
// the normal (0, 0, -1) and a position on z = 0.
void AddUnitQuad(host::Document& document) {
  host::Object& quad = host::AddObject(document, "quad");
  quad.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  quad.faces = {host::Face{{0, 1, 2, 3}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}}};
}

// A large square at z = `z` whose normal is +z (corners seen clockwise from
// +z), so rays from the baked quad going towards -z meet its front: a ray
// from a texel (z = 0) along the normal (0, 0, -1) hits it at t = -z.
host::Object& AddRoof(host::Document& document, float z) {
  host::Object& roof = host::AddObject(document, "roof");
  roof.vertices = {{-10, -10, z}, {-10, 10, z}, {10, 10, z}, {10, -10, z}};
  roof.faces = {host::Face{{0, 1, 2, 3}, {}}};
  return roof;
}

class DialogTest : public testing::Test {
 protected:
  void SetUp() override {
    plugin_ = host::LoadPlugin(TAMSINK_PLUGIN_MODULE);
    ASSERT_TRUE(plugin_.complete());
    ASSERT_EQ(plugin_.MQInit(TAMSINK_HOST_MODULE), TRUE);
    std::random_device seed;
    folder_ = fs::path(testing::TempDir()) /
              ("tamsink_dialog_" + std::to_string(seed()) + "_" + std::to_string(seed()));
    ASSERT_TRUE(fs::create_directories(folder_));
    AddUnitQuad(document_);
    document_.currentObject = 0;
  }
  void TearDown() override {
    host::UnloadPlugin(plugin_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
#ifndef _WIN32
    // The default output path is relative on this platform; no case may
    // ever have written it (and a stray one must not fail the next case).
    // On Windows it names a real drive, which a test must not touch.
    EXPECT_FALSE(fs::remove("d:\\test.bmp"));
#endif
  }

  // One invocation; every expectation of the session must hold.
  host::SessionResult Run(const std::string& session) {
    host::SessionResult result =
        host::RunSessionText(session, plugin_.MQModifyObject, host::Handle(document_));
    EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
    return result;
  }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
  std::string TypePath(const std::string& name) const { return "type 1000 " + PathOf(name) + "\n"; }

  Bytes ReadFile(const std::string& name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool FolderIsEmpty() const { return fs::is_empty(folder_); }

  host::PluginModule plugin_;
  host::Document document_;
  fs::path folder_;
};

TEST_F(DialogTest, FirstOpeningShowsTheDefaults) {
  const host::SessionResult result = Run(R"(
    # Texture size, bake button, output path, elapsed time, progress range.
    expect 1013 64
    expect-enabled 1006 0
    expect-enabled 1005 1
    expect 1000 d:\test.bmp
    expect 1021 00:00
    expect-progress 0 0 64
    expect-checked 1018 0
    # The Normal tab with its empty page; the others hidden.
    expect-tab 0
    expect-visible normal 1
    expect-visible shade 0
    expect-visible shadow 0
    expect-visible ao 0
    # Both light pages show the light (0, 1, 0).
    expect shade 1002 0
    expect shade 1008 1
    expect shade 1009 0
    expect shadow 1002 0
    expect shadow 1008 1
    expect shadow 1009 0
    expect-checked shade 1017 0
    # The AO values the library starts with.
    expect ao 1025 20
    expect ao 1022 100.0
    expect ao 1024 120.0
    key escape
  )");
  EXPECT_EQ(result.returned, FALSE);
}

TEST_F(DialogTest, ReopeningAfterClosingOnTheShadePageResetsTabAndLight) {
  Run(R"(
    tab 1
    expect-visible shade 1
    expect-visible normal 0
    type shade 1002 5
    type shade 1008 -6
    type shade 1009 7
    close
  )");
  Run(R"(
    expect-tab 0
    expect-visible normal 1
    expect-visible shade 0
    expect shade 1002 0
    expect shade 1008 1
    expect shade 1009 0
    expect shadow 1002 0
    expect shadow 1008 1
    expect shadow 1009 0
    close
  )");
}

TEST_F(DialogTest, TabChangesCarryTheLightBetweenTheLightPagesWithoutDecimals) {
  Run(R"(
    tab 1
    type shade 1002 -2
    type shade 1009 7
    tab 2
    expect shadow 1002 -2
    expect shadow 1008 1
    expect shadow 1009 7
    type shadow 1008 4
    tab 1
    expect shade 1002 -2
    expect shade 1008 4
    expect shade 1009 7
    # Shown with "%0.0f": 2.6 as 3, -0.4 as -0, 1e3 as 1000, on both pages.
    type shade 1002 2.6
    type shade 1008 -0.4
    type shade 1009 1e3
    tab 3
    expect shade 1002 3
    expect shade 1008 -0
    expect shade 1009 1000
    expect shadow 1002 3
    expect shadow 1008 -0
    expect shadow 1009 1000
    # Leaving a page that is not a light page takes nothing from the edits.
    type shade 1002 9
    tab 0
    expect shade 1002 3
    close
  )");
}

// The stored light keeps its fraction while the pages show it rounded. With
// the normal (0, 0, -1) a shade texel is trunc(255 * d), d = -L.z for the
// unit light direction L:
//   light (2.6, 0, -1): |L| = sqrt(2.5999999^2 + 1) = 2.7856776, d = 0.35897908,
//     255 d = 91.54 -> 91;
//   light (3, 0, -1): d = 1 / sqrt(10) = 0.31622776, 255 d = 80.64 -> 80.
// Both are far from an integer, so float rounding cannot move them.
TEST_F(DialogTest, LightBakesWithItsFractionAndShowsRounded) {
  Run("tab 1\ntype 1013 2\nclick 1005\n"
      "type shade 1002 2.6\ntype shade 1008 0\ntype shade 1009 -1\n" +
      TypePath("typed.bmp") +
      "click 1006\n"
      "expect shade 1002 3\nexpect shadow 1002 3\n"
      // The next bake reads the edits again, now showing 3.
      + TypePath("shown.bmp") + "click 1006\nclose\n");
  EXPECT_EQ(ReadFile("typed.bmp"), Uniform2x2(Grey(91)));
  EXPECT_EQ(ReadFile("shown.bmp"), Uniform2x2(Grey(80)));
}

TEST_F(DialogTest, ChangingTheTextureSizeDisablesTheBakeUntilTheTableIsRebuilt) {
  const host::SessionResult result = Run(R"(
    click 1005
    expect-enabled 1006 1
    type 1013 128
    expect-enabled 1006 0
    expect-progress 0 0 128
    type 1013 64
    expect-enabled 1006 0
    expect-progress 0 0 64
    # A disabled button takes no click.
    click 1006
    click 1005
    expect-enabled 1006 1
    # Emptying the edit changes nothing.
    type 1013
    expect-enabled 1006 1
    expect-progress 0 0 64
    close
  )");
  EXPECT_EQ(result.disabledClicks, std::vector<int>{11});
  EXPECT_TRUE(FolderIsEmpty());
}

// Sizes for which no table can be built leave the bake disabled; the progress
// range is the low 16 bits of the size.
TEST_F(DialogTest, SizesWithoutATableLeaveTheBakeDisabled) {
  struct Case {
    const char* text;
    int rangeMax;
    bool bakeEnabled;
  };
  const Case cases[] = {
      {"0", 0, false},
      {"abc", 0, false},                       // no number: size 0
      {"-4", 0xFFFC, false},                   // -4 & 0xFFFF
      {"99999999999999999999", 0xFFFF, false},  // saturates at 2^31 - 1: too large a table
      {" 3xyz", 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string enabled = c.bakeEnabled ? "1" : "0";
    const host::SessionResult result =
        Run(std::string("click 1005\ntype 1013 ") + c.text + "\nexpect-progress 0 0 " +
            std::to_string(c.rangeMax) + "\nclick 1005\nexpect-enabled 1006 " + enabled + "\n" +
            TypePath("size.bmp") + "click 1006\nclose\n");
    EXPECT_EQ(result.disabledClicks.empty(), c.bakeEnabled);
    EXPECT_EQ(fs::exists(PathOf("size.bmp")), c.bakeEnabled);
    fs::remove(PathOf("size.bmp"));
  }
}

// One invocation baking the quad under a roof at z = -5 in each mode.
//   Normal: kNormalMinusZ everywhere.
//   Shade, light (0, 1, -1): L = (0, 0.70710677, -0.70710677), d = 0.70710677,
//     trunc(255 d) = trunc(180.31) = 180.
//   Shadow, same light: d >= 0, and the ray from P + N (z = -1) along L
//     reaches z = -5 at y + 4, inside the roof: black.
//   AO with 1 sample and distance 100: only the first ray, from P along N,
//     counts; it hits the roof at 5, so the sum is 100 - 5 = 95 and the grey
//     is trunc(255 - 95 / 1 / 100 * 255) = trunc(12.75) = 12.
TEST_F(DialogTest, OneInvocationBakesEveryMode) {
  AddRoof(document_, -5.0f);
  Run("type 1013 2\nclick 1005\n" + TypePath("normal.bmp") + "click 1006\n"
      "tab 1\ntype shade 1002 0\ntype shade 1008 1\ntype shade 1009 -1\n" +
      TypePath("shade.bmp") + "click 1006\n"
      "tab 2\n" + TypePath("shadow.bmp") + "click 1006\n"
      "tab 3\ntype ao 1025 1\ntype ao 1022 100\n" + TypePath("ao.bmp") + "click 1006\n"
      "focus 1000\nkey enter\n");
  EXPECT_EQ(ReadFile("normal.bmp"), Uniform2x2(kNormalMinusZ));
  EXPECT_EQ(ReadFile("shade.bmp"), Uniform2x2(Grey(180)));
  EXPECT_EQ(ReadFile("shadow.bmp"), Uniform2x2(kBlack));
  EXPECT_EQ(ReadFile("ao.bmp"), Uniform2x2(Grey(12)));
}

// Shade with the back-face option: trunc(127 d + 128) = trunc(217.80) = 217
// for the light (0, 1, -1); without it 180 (above). The option is stored by
// the bake and shown at the next opening.
TEST_F(DialogTest, BackFaceShadingIsTakenByTheBakeAndKept) {
  Run("type 1013 2\nclick 1005\ntab 1\ntype shade 1002 0\ntype shade 1008 1\ntype shade 1009 -1\n"
      "check shade 1017 1\n" + TypePath("back.bmp") + "click 1006\nclose\n");
  EXPECT_EQ(ReadFile("back.bmp"), Uniform2x2(Grey(217)));
  Run("expect-checked shade 1017 1\n"
      // Unchecked without a bake: not stored.
      "check shade 1017 0\nclose\n");
  Run("expect-checked shade 1017 1\nclose\n");
}

// Shadow: a visible roof shadows every texel; a hidden one casts nothing; a
// light behind the face (d < 0) is black without any occluder.
TEST_F(DialogTest, ShadowsAreCastByVisibleObjectsTowardsTheLight) {
  host::Object& roof = AddRoof(document_, -5.0f);
  const std::string bake = "type 1013 2\nclick 1005\ntab 2\ntype shadow 1002 0\ntype shadow 1008 0\n";
  Run(bake + "type shadow 1009 -1\n" + TypePath("lit.bmp") + "click 1006\nclose\n");
  EXPECT_EQ(ReadFile("lit.bmp"), Uniform2x2(kBlack));
  roof.visible = false;
  Run(bake + "type shadow 1009 -1\n" + TypePath("open.bmp") + "click 1006\n"
      "type shadow 1009 1\n" + TypePath("behind.bmp") + "click 1006\nclose\n");
  EXPECT_EQ(ReadFile("open.bmp"), Uniform2x2(kWhite));
  EXPECT_EQ(ReadFile("behind.bmp"), Uniform2x2(kBlack));
}

// Ambient occlusion with the default 20 samples and distance 100 and nothing
// but the quad itself: every ray leaves the quad from its front towards -z
// (the tilt stays within 120 * 0.0111 / 2 = 0.67 rad of the normal), so none
// hits anything and every texel is 255.
TEST_F(DialogTest, AmbientOcclusionWithNothingAroundIsWhite) {
  Run("type 1013 2\nclick 1005\ntab 3\n" + TypePath("ao.bmp") + "click 1006\nclose\n");
  EXPECT_EQ(ReadFile("ao.bmp"), Uniform2x2(kWhite));
}

// The AO values are validated when a bake takes them, stored, and shown at
// the next opening; the edits themselves are not corrected. With the roof at
// 5 and one sample (no random draws), the first ray decides:
//   distance d > 5: trunc(255 - (d - 5) / d * 255); d = 100 gives 12;
//   distance d <= 5: nothing within reach, 255;
//   0 samples or distance 0: the quotient is not finite, black.
TEST_F(DialogTest, AoValuesAreValidatedWhenABakeTakesThem) {
  struct Case {
    const char* samples;
    const char* distance;
    const char* spread;
    uint8_t grey;
    const char* shownSamples;
    const char* shownDistance;
    const char* shownSpread;
  };
  const Case cases[] = {
      {"-5", "100", "120", 12, "1", "100.0", "120.0"},  // a negative count becomes 1
      {"0", "100", "120", 0, "0", "100.0", "120.0"},    // 0 stays 0: black
      {"1", "-3", "120", 255, "1", "1.0", "120.0"},     // a negative distance becomes 1.0
      {"1", "abc", "120", 0, "1", "0.0", "120.0"},      // no number: 0.0, black
      {"1", "4", "-7.3", 255, "1", "4.0", "-7.3"},     // the spread is not validated
      {"1x", "100.04", "abc", 12, "1", "100.0", "0.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.samples) + " / " + c.distance + " / " + c.spread);
    host::Document document;
    AddUnitQuad(document);
    AddRoof(document, -5.0f);
    host::SessionResult result = host::RunSessionText(
        std::string("type 1013 2\nclick 1005\ntab 3\ntype ao 1025 ") + c.samples +
            "\ntype ao 1022 " + c.distance + "\ntype ao 1024 " + c.spread + "\n" +
            TypePath("ao.bmp") + "click 1006\n" +
            // The edits keep what was typed until the dialog closes.
            "expect ao 1025 " + c.samples + "\nclose\n",
        plugin_.MQModifyObject, host::Handle(document));
    EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
    EXPECT_EQ(ReadFile("ao.bmp"), Uniform2x2(Grey(c.grey)));
    result = host::RunSessionText(std::string("expect ao 1025 ") + c.shownSamples +
                                      "\nexpect ao 1022 " + c.shownDistance + "\nexpect ao 1024 " +
                                      c.shownSpread + "\nclose\n",
                                  plugin_.MQModifyObject, host::Handle(document));
    EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
  }
}

// Only the texel (0, 0) is covered: a quad inside UV [0.1, 0.4]^2 at size 2.
// Unfiltered it is the normal colour (B, G, R) = (1, 128, 128) at the top
// left, green elsewhere. The 3 x 3 filter on a 2 x 2 image averages all four
// pixels for every pixel: B = 1 / 4 = 0, G = (128 + 3 * 255) / 4 = 893 / 4 =
// 223, R = 128 / 4 = 32.
TEST_F(DialogTest, FilterOptionSmoothsThePictureAndIsKept) {
  host::Document document;
  host::Object& small = host::AddObject(document, "small");
  small.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  small.faces = {host::Face{{0, 1, 2, 3}, {{0.1f, 0.1f}, {0.4f, 0.1f}, {0.4f, 0.4f}, {0.1f, 0.4f}}}};
  const std::string table = "type 1013 2\nclick 1005\n";
  host::SessionResult result = host::RunSessionText(
      table + TypePath("plain.bmp") + "click 1006\ncheck 1018 1\n" + TypePath("filtered.bmp") +
          "click 1006\nclose\n",
      plugin_.MQModifyObject, host::Handle(document));
  EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
  EXPECT_EQ(ReadFile("plain.bmp"), File2x2(kNormalMinusZ, kGreen, kGreen, kGreen));
  EXPECT_EQ(ReadFile("filtered.bmp"), Uniform2x2({0, 223, 32}));
  result = host::RunSessionText("expect-checked 1018 1\nclose\n", plugin_.MQModifyObject,
                                host::Handle(document));
  EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
}

TEST_F(DialogTest, AnEmptyPathBakesAndWritesNothing) {
  Run("type 1013 2\nclick 1005\ntype 1000\nclick 1006\nexpect-progress 0 0 2\nclose\n");
  EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(DialogTest, AnUnwritablePathWritesNothingAndTheDialogGoesOn) {
  const host::SessionResult result =
      Run("type 1013 2\nclick 1005\ntype 1000 " + PathOf("missing/folder/x.bmp") +
          "\nclick 1006\n" + TypePath("after.bmp") + "click 1006\nfocus 1000\nkey enter\n");
  EXPECT_EQ(result.returned, TRUE);
  EXPECT_FALSE(fs::exists(PathOf("missing")));
  EXPECT_EQ(ReadFile("after.bmp"), Uniform2x2(kNormalMinusZ));
}

// A leading asterisk of the path is dropped.
TEST_F(DialogTest, APathWithALeadingAsteriskNamesTheRest) {
  Run("type 1013 2\nclick 1005\ntype 1000 *" + PathOf("star.bmp") + "\nclick 1006\nclose\n");
  EXPECT_EQ(ReadFile("star.bmp"), Uniform2x2(kNormalMinusZ));
}

// The average distance along the texel normals: every texel of the quad hits
// the roof at 5, shown "%0.1f" as 5.0; with nothing to hit, 0.0. Without a
// table for the current size the edit keeps its text.
TEST_F(DialogTest, AverageDistanceNeedsATableForTheCurrentSize) {
  host::Object& roof = AddRoof(document_, -5.0f);
  Run(R"(
    tab 3
    click ao 1023
    expect ao 1022 100.0
    type 1013 2
    click 1005
    click ao 1023
    expect ao 1022 5.0
    type ao 1022 7.5
    type 1013 4
    click ao 1023
    expect ao 1022 7.5
    close
  )");
  roof.visible = false;
  Run("type 1013 2\nclick 1005\nclick ao 1023\nexpect ao 1022 0.0\nclose\n");
}

TEST_F(DialogTest, TheNextInvocationStartsWithoutATable) {
  Run("click 1005\nexpect-enabled 1006 1\nfocus 1000\nkey enter\n");
  const host::SessionResult result = Run(R"(
    expect-enabled 1006 0
    click 1006
    tab 3
    click ao 1023
    expect ao 1022 100.0
    close
  )");
  EXPECT_EQ(result.disabledClicks, std::vector<int>{3});
}

// The progress bar is empty again after a bake, and the elapsed-time label
// shows the time at the end of the last row.
TEST_F(DialogTest, ProgressIsEmptyAfterTheBake) {
  Run("type 1013 2\nclick 1005\n" + TypePath("p.bmp") +
      "click 1006\nexpect-progress 0 0 2\nclose\n");
  EXPECT_TRUE(fs::exists(PathOf("p.bmp")));
}

#ifndef _WIN32
// The platform's clock, replaced by one that advances 37.5 s at every
// reading. Nothing else reads the clock during a bake, so the bake's start
// and its two rows are three readings in a row: the last row ends 75 s after
// the start and the label reads 01:15. (Other readings, outside the bake, do
// not matter: only differences within the bake are shown.)
DWORD g_tickReadings = 0;
DWORD ThirtySevenAndAHalfSecondsPerReading() { return 1000 + 37500 * g_tickReadings++; }

TEST_F(DialogTest, ElapsedTimeLabelShowsMinutesAndSeconds) {
  g_tickReadings = 0;
  PlatformSetTickSource(ThirtySevenAndAHalfSecondsPerReading);
  Run("type 1013 2\nclick 1005\nexpect 1021 00:00\n" + TypePath("t.bmp") +
      "click 1006\nexpect 1021 01:15\nclose\n");
  PlatformSetTickSource(nullptr);
}
#endif

}  // namespace
