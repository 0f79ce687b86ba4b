#include "bake/bake_pass.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

#include <memory>
#include <new>
#include <vector>

#include "bake/parallel_rows.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"

namespace {

// The single-precision number nearest 1/90 (0x3C360B61): spread angle to the
// width of the tilt range in radians.
constexpr float kSpreadToRadians = 0.011111111f;

// A channel value computed in floating point, truncated toward zero into its
// byte. Over-long normals give values beyond 0..255, which are clamped; a
// value that is not a number gives 0.
uint32_t ChannelByte(double value) {
  if (!(value >= 0.0)) return 0;
  if (value >= 255.0) return 255;
  return static_cast<uint32_t>(value);
}

uint32_t Grey(uint32_t v) { return 0xFF000000u + v * 0x010101u; }

uint32_t NormalColour(const Vec3& n) {
  const uint32_t r = ChannelByte(n.x * 127.0 + 128.0);
  const uint32_t g = ChannelByte(n.y * 127.0 + 128.0);
  const uint32_t b = ChannelByte(n.z * 127.0 + 128.0);
  return 0xFF000000u + r * 0x10000u + g * 0x100u + b;
}

// Shade's d stays double.
double LightDot(const Vec3& light, const Vec3& n) {
  return double(light.x) * n.x + double(light.y) * n.y + double(light.z) * n.z;
}

uint32_t ShadeColour(const Vec3& n, const BakeContext& context) {
  const double d = LightDot(context.light, n);
  if (context.settings.shadeBackFaces) return Grey(ChannelByte(d * 127.0 + 128.0));
  if (!(d >= 0.0)) return Grey(0);
  return Grey(ChannelByte(d * 255.0));
}

uint32_t ShadowColour(const TexelEntry& texel, const BakeContext& context) {
  const double d = LightDot(context.light, texel.normal);
  if (d < 0.0) return kBlack;
  Vec3 origin;
  AddVec3(origin, texel.position, texel.normal);
  return NearestHitDistance(origin, context.light) != 0.0f ? kBlack : kWhite;
}

// A unit vector in the direction of v, or (0, 0, 0); the length stays double.
Vec3 Normalized(const Vec3& v) {
  const double length = std::sqrt(SquaredLength(v));
  if (!(length > 0.0)) return Vec3{0.0f, 0.0f, 0.0f};
  return Vec3{RoundToFloat(v.x / length), RoundToFloat(v.y / length), RoundToFloat(v.z / length)};
}

// The cosine and sine of the tilt and the turn for one random draw each;
// the angles are float parameters of the rotation, and its cosine and sine
// 32-bit values.
CosSin CosSinOf(float angle) {
  return CosSin{RoundToFloat(Cosine(angle)), RoundToFloat(Sine(angle))};
}
CosSin TiltAngle(int draw, float k) { return CosSinOf(RoundToFloat((draw / 32768.0 - 0.5) * k)); }
CosSin TurnAngle(int draw) { return CosSinOf(RoundToFloat(draw / 16384.0)); }

// Rays one batch of an AO texel's queries holds.
constexpr int32_t kRayBatch = 32;

uint32_t AmbientOcclusionColour(const TexelEntry& texel, const BakeContext& context,
                                RandomSource& random) {
  const Vec3& n = texel.normal;
  const Vec3& p = texel.position;
  const int32_t samples = context.settings.aoSampleCount;
  const float distance = context.settings.aoSearchDistance;

  Vec3 origin;
  AddVec3(origin, p, n);
  const Vec3 tiltAxis = NormalizeAxis(Vec3{-n.y, n.x, 0.0f});
  const Vec3 turnAxis = NormalizeAxis(n);
  const float k = RoundToFloat(double(context.settings.aoSpreadAngle) * kSpreadToRadians);
  const AngleTables* angles = context.angles;

  // Only hits nearer than the distance count, so the rays are cast for
  // those alone, a batch at a time: the directions first (drawing the
  // random numbers in the usual order), then the queries, then the sum in
  // ray order.
  Vec3 origins[kRayBatch];
  Vec3 directions[kRayBatch];
  float hits[kRayBatch];
  // The first ray is cast whatever S is; further ones while i < S.
  const int32_t rays = samples > 1 ? samples : 1;
  // The sum is a 32-bit value.
  float sum = 0.0f;
  for (int32_t start = 0; start < rays; start += kRayBatch) {
    int32_t count = 0;
    for (int32_t i = start; i < start + kRayBatch && i < rays; ++i, ++count) {
      if (i == 0) {
        // The first ray leaves from the surface along the normal.
        origins[count] = p;
        directions[count] = n;
        continue;
      }
      const int tiltDraw = RandomDraw(random);
      RandomDraw(random);  // drawn and discarded
      const int turnDraw = RandomDraw(random);
      const CosSin tilt = angles != nullptr ? angles->tilt[tiltDraw] : TiltAngle(tiltDraw, k);
      const CosSin turn = angles != nullptr ? angles->turn[turnDraw] : TurnAngle(turnDraw);
      Matrix4 m;
      Vec3 v;
      RotationFromCosSin(m, tiltAxis, tilt.cosine, tilt.sine);
      TransformPoint(v, n, m);
      RotationFromCosSin(m, turnAxis, turn.cosine, turn.sine);
      TransformPoint(v, v, m);
      origins[count] = origin;
      directions[count] = Normalized(v);
    }
    // Each answer is a hit nearer than the distance, or 0.
    NearestHitsWithin(origins, directions, count, distance, hits);
    for (int32_t i = 0; i < count; ++i) {
      if (hits[i] == 0.0f) continue;
      // The first ray's term is added to zero, which leaves it unchanged.
      sum = RoundToFloat(double(sum) + (double(distance) - hits[i]));
    }
  }
  // The quotient stays double, divided by S first and then by D; with S or D
  // zero it is not finite and the texel is black.
  const double occlusion = double(sum) / samples / distance;
  if (!std::isfinite(occlusion)) return Grey(0);
  return Grey(ChannelByte(255.0 - occlusion * 255.0));
}

}  // namespace

Vec3 LightDirection(const Vec3& lightPosition) { return Normalized(lightPosition); }

void FillAngleTables(const BakeSettings& settings, AngleTables& tables) {
  const float k = RoundToFloat(double(settings.aoSpreadAngle) * kSpreadToRadians);
  for (int draw = 0; draw < 32768; ++draw) {
    tables.tilt[draw] = TiltAngle(draw, k);
    tables.turn[draw] = TurnAngle(draw);
  }
}

uint32_t BakeTexel(const TexelEntry& texel, const BakeContext& context, RandomSource& random) {
  switch (context.settings.mode) {
    case kBakeNormal:
      return NormalColour(texel.normal);
    case kBakeShade:
      return ShadeColour(texel.normal, context);
    case kBakeShadow:
      return ShadowColour(texel, context);
    case kBakeAO:
      return AmbientOcclusionColour(texel, context, random);
  }
  // The mode is a tab index; no other value is ever selected.
  return kBackgroundColour;
}

void FormatElapsed(uint32_t elapsedMs, char* text) {
  const uint32_t seconds = elapsedMs / 1000u;
  std::snprintf(text, 16, "%02d:%02d", static_cast<int>(seconds / 60u), static_cast<int>(seconds % 60u));
}

namespace {

// Random draws one covered texel makes in AO: three per further ray.
uint64_t DrawsPerTexel(const BakeSettings& settings) {
  if (settings.mode != kBakeAO || settings.aoSampleCount <= 1) return 0;
  return 3u * static_cast<uint64_t>(settings.aoSampleCount - 1);
}

}  // namespace

void RunBakePass(HWND dialogWindow) {
  PixelImage& image = g_plugin.pixelImage;
  const int32_t size = g_plugin.settings.textureSize > 0 ? g_plugin.settings.textureSize : 0;

  image.Release();
  image.Create(size, size);
  image.Fill(kBackgroundColour);

  BuildOccluderSet(BakeThreadCount());

  BakeContext context;
  context.settings = g_plugin.settings;
  context.light = LightDirection(g_plugin.settings.lightPosition);
  // A pass that draws angles enough looks them up: two tables of 32,768
  // entries cost about as much as 5,000 texels of 16 rays compute.
  std::unique_ptr<AngleTables> angles;
  if (context.settings.mode == kBakeAO && context.settings.aoSampleCount > 1 &&
      static_cast<int64_t>(size) * size >= 4096) {
    angles.reset(new (std::nothrow) AngleTables);
    if (angles != nullptr) {
      FillAngleTables(context.settings, *angles);
      context.angles = angles.get();
    }
  }

  // Only a table built for this size may be read.
  const TexelEntry* table =
      g_plugin.texelTableSize == size ? g_plugin.texelTable : nullptr;
  const auto rowEntries = [table, size](int32_t row) {
    return table + static_cast<size_t>(row) * static_cast<size_t>(size);
  };

  // Rows may be baked in any order on any thread, yet every covered texel
  // must see the random state a row-by-row pass would give it: each row
  // starts from the source skipped ahead by the draws of the rows before it.
  const uint64_t drawsPerTexel = table != nullptr ? DrawsPerTexel(context.settings) : 0;
  std::vector<RandomSource> rowStart;
  RandomSource afterPass = g_randomSource;
  if (drawsPerTexel != 0) {
    rowStart.resize(static_cast<size_t>(size));
    for (int32_t row = 0; row < size; ++row) {
      rowStart[static_cast<size_t>(row)] = afterPass;
      uint64_t covered = 0;
      const TexelEntry* entries = rowEntries(row);
      for (int32_t column = 0; column < size; ++column) covered += entries[column].face != -1;
      RandomSkip(afterPass, covered * drawsPerTexel);
    }
  }

  const auto bakeRow = [&](int row) {
    if (table == nullptr) return;
    RandomSource random = drawsPerTexel != 0 ? rowStart[static_cast<size_t>(row)] : g_randomSource;
    const TexelEntry* entries = rowEntries(row);
    for (int32_t column = 0; column < size; ++column) {
      const TexelEntry& texel = entries[column];
      if (texel.face == -1) continue;
      image.SetPixel(column, row, BakeTexel(texel, context, random));
    }
  };
  const auto showProgress = [&](int) {
    SendMessageA(g_plugin.progressBar, PBM_STEPIT, 1, 0);
    char label[16];
    FormatElapsed(GetTickCount() - g_plugin.bakeStartTick, label);
    SetDlgItemTextA(dialogWindow, kElapsedLabelId, label);
  };
  ForEachRowInOrder(size, BakeThreadCount(), bakeRow, showProgress);
  g_randomSource = afterPass;

  if (g_plugin.settings.applyFilter) image.BoxFilter(1);
}
