#include "bake/texel_table.h"

#include <cmath>
#include <cstddef>
#include <new>

#include "shell/plugin_state.h"

namespace {

// Interval counts are converted to int only below this. Real walks stay far
// beneath it: the face bound caps the rails, and a running rail point moves
// at most twice its increment per step (float rounding), so it cannot stray
// further than about one rail length beyond the face, which keeps every
// cross length within a few face diameters.
constexpr double kMaxConvertibleIntervals = 2147483646.0;

double UVDistance(const Vec2& a, const Vec2& b) {
  const double du = double(b.u) - a.u;
  const double dv = double(b.v) - a.v;
  return std::sqrt(du * du + dv * dv);
}

// Intervals for a walk of `length` UV units: 1 + trunc(2 x size x length).
// False when that is not a finite number in int range (a non-finite length),
// so no out-of-range value is ever converted.
bool WalkIntervals(int32_t size, double length, int32_t& intervals) {
  const double scaled = 2.0 * size * length;
  if (!(scaled >= 0.0 && scaled <= kMaxConvertibleIntervals)) return false;
  intervals = 1 + static_cast<int32_t>(scaled);
  return true;
}

// True when the largest UV distance between two walked corners keeps the
// face's work within kMaxWalkIntervals; false for wider faces and for any
// non-finite UV (whose distances are infinite or NaN).
bool WithinWalkBound(const Vec2 (&uv)[4], int32_t size) {
  const double scale = 2.0 * size;
  for (int a = 0; a < 4; ++a) {
    for (int b = a + 1; b < 4; ++b) {
      if (!(scale * UVDistance(uv[a], uv[b]) <= kMaxWalkIntervals)) return false;
    }
  }
  return true;
}

// The walk's increments: the difference of two float values, divided by the
// interval count in double, stored as float.
float Step(float from, float to, int32_t intervals) {
  return RoundToFloat((double(to) - double(from)) / intervals);
}
Vec2 Step(const Vec2& from, const Vec2& to, int32_t intervals) {
  return Vec2{Step(from.u, to.u, intervals), Step(from.v, to.v, intervals)};
}
Vec3 Step(const Vec3& from, const Vec3& to, int32_t intervals) {
  return Vec3{Step(from.x, to.x, intervals), Step(from.y, to.y, intervals),
              Step(from.z, to.z, intervals)};
}

// AddVec3's rounding (double sum stored as float), inline because it runs
// for every sample of the walk.
void Advance(float& value, float step) { value = RoundToFloat(double(value) + double(step)); }
void Advance(Vec2& value, const Vec2& step) {
  Advance(value.u, step.u);
  Advance(value.v, step.v);
}
void Advance(Vec3& value, const Vec3& step) {
  Advance(value.x, step.x);
  Advance(value.y, step.y);
  Advance(value.z, step.z);
}

// Column (or row) of a UV coordinate: trunc(size x coordinate), each clamped
// into [0, size). False for a NaN coordinate, which cannot arise once the
// face has passed WithinWalkBound but must not reach the conversion either.
bool TexelCoordinate(double sizeAsFloat, int32_t size, float coordinate, int32_t& texel) {
  const double scaled = sizeAsFloat * coordinate;
  if (scaled >= sizeAsFloat) {
    texel = size - 1;
  } else if (scaled >= 0.0) {
    texel = static_cast<int32_t>(scaled);
  } else if (scaled < 0.0) {
    texel = 0;
  } else {
    return false;
  }
  return true;
}

struct WalkCorners {
  Vec2 uv[4];
  Vec3 position[4];
  Vec3 normal[4];
};

// The face's corners as walked: a triangle as the quad 0-1-2-0.
WalkCorners CornersOf(const FaceRecord& record) {
  WalkCorners c;
  for (int k = 0; k < 4; ++k) {
    const int from = (k == 3 && record.pointCount == 3) ? 0 : k;
    c.uv[k] = record.cornerUVs[from];
    CopyVec3(c.position[k], record.cornerPositions[from]);
    CopyVec3(c.normal[k], record.cornerNormals[from]);
  }
  return c;
}

void WalkFace(TexelEntry* table, int32_t size, int32_t face, const WalkCorners& c) {
  if (!WithinWalkBound(c.uv, size)) return;

  const double lengthA = UVDistance(c.uv[0], c.uv[1]);
  const double lengthB = UVDistance(c.uv[3], c.uv[2]);
  const double length = lengthA > lengthB ? lengthA : lengthB;
  int32_t railIntervals;
  if (!WalkIntervals(size, length, railIntervals)) return;
  // The cross lines run between the rails, so none is longer than the longer
  // of the sides 0->3 and 1->2 (the gap between two linear rails is linear,
  // and a length is convex), up to the drift of the running rail points.
  const double sideA = UVDistance(c.uv[0], c.uv[3]);
  const double sideB = UVDistance(c.uv[1], c.uv[2]);
  const double crossSamples = 2.0 + 2.0 * size * (sideA > sideB ? sideA : sideB);
  const double samples = (railIntervals + 1.0) * crossSamples;
  if (!(samples <= kMaxWalkSamples && samples <= kMaxWalkSamplesPerTexel * size * size)) return;

  const Vec2 stepAuv = Step(c.uv[0], c.uv[1], railIntervals);
  const Vec2 stepBuv = Step(c.uv[3], c.uv[2], railIntervals);
  const Vec3 stepAp = Step(c.position[0], c.position[1], railIntervals);
  const Vec3 stepBp = Step(c.position[3], c.position[2], railIntervals);
  const Vec3 stepAn = Step(c.normal[0], c.normal[1], railIntervals);
  const Vec3 stepBn = Step(c.normal[3], c.normal[2], railIntervals);

  Vec2 auv = c.uv[0], buv = c.uv[3];
  Vec3 ap = c.position[0], bp = c.position[3];
  Vec3 an = c.normal[0], bn = c.normal[3];
  // size as a float; exact for every size the table admits.
  const double sizeAsFloat = RoundToFloat(size);

  for (int32_t s = 0; s <= railIntervals; ++s) {
    int32_t crossIntervals;
    if (WalkIntervals(size, UVDistance(auv, buv), crossIntervals)) {
      const Vec2 stepCuv = Step(auv, buv, crossIntervals);
      const Vec3 stepCp = Step(ap, bp, crossIntervals);
      const Vec3 stepCn = Step(an, bn, crossIntervals);
      Vec2 cuv = auv;
      Vec3 cp = ap, cn = an;
      for (int32_t t = 0; t <= crossIntervals; ++t) {
        int32_t column, row;
        if (TexelCoordinate(sizeAsFloat, size, cuv.u, column) &&
            TexelCoordinate(sizeAsFloat, size, cuv.v, row)) {
          TexelEntry& entry = table[static_cast<size_t>(row) * size + column];
          if (entry.face == -1) {
            entry.face = face;
            CopyVec3(entry.normal, cn);
            CopyVec3(entry.position, cp);
          }
        }
        Advance(cp, stepCp);
        Advance(cn, stepCn);
        Advance(cuv, stepCuv);
      }
    }
    Advance(auv, stepAuv);
    Advance(buv, stepBuv);
    Advance(ap, stepAp);
    Advance(bp, stepBp);
    Advance(an, stepAn);
    Advance(bn, stepBn);
  }
}

}  // namespace

TexelEntry* BuildTexelTable(int32_t size) {
  if (size < 1) return nullptr;
  const uint64_t entries = uint64_t(size) * uint64_t(size);
  const uint64_t bytes = entries * sizeof(TexelEntry);
  if (bytes > kMaxTexelTableBytes || bytes > uint64_t(SIZE_MAX)) return nullptr;

  TexelEntry* table = new (std::nothrow) TexelEntry[static_cast<size_t>(entries)];
  if (table == nullptr) return nullptr;
  for (uint64_t e = 0; e < entries; ++e) table[e].face = -1;

  const FaceRecord* records = g_plugin.faceRecords;
  const int32_t faceCount = records != nullptr ? g_plugin.faceCount : 0;
  for (int32_t i = 0; i < faceCount; ++i) {
    if (records[i].valid == 0) continue;
    WalkFace(table, size, i, CornersOf(records[i]));
  }
  return table;
}

void FreeTexelTable(TexelEntry* table) { delete[] table; }
