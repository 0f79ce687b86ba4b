#include "bake/texel_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "mesh/face_records.h"
#include "shell/plugin_state.h"
#include "test_support.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const float kFloatMax = std::numeric_limits<float>::max();

struct TableDeleter {
  void operator()(TexelEntry* table) const { FreeTexelTable(table); }
};
using Table = std::unique_ptr<TexelEntry, TableDeleter>;

// A face record made by hand. Corners beyond the face's own (corner 3 of a
// triangle) are filled with NaN, so that a walk reading them shows.
FaceRecord MakeFace(int32_t pointCount, std::vector<Vec2> uvs, std::vector<Vec3> positions,
                    std::vector<Vec3> normals) {
  FaceRecord r{};
  r.pointCount = pointCount;
  r.valid = pointCount >= 3 ? 1 : 0;
  for (int k = 0; k < 4; ++k) {
    const bool given = k < int(uvs.size());
    r.cornerUVs[k] = given ? uvs[k] : Vec2{kNaN, kNaN};
    r.cornerPositions[k] = k < int(positions.size()) ? positions[k] : Vec3{kNaN, kNaN, kNaN};
    r.cornerNormals[k] = k < int(normals.size()) ? normals[k] : Vec3{kNaN, kNaN, kNaN};
    r.cornerVertices[k] = k;
  }
  return r;
}

// A face whose positions equal its UVs (z = 0) and whose normals are all
// `normal`: the interpolated position then shows where the sample was.
FaceRecord FlatFace(std::vector<Vec2> uvs, Vec3 normal = Vec3{0.0f, 0.0f, -1.0f}) {
  std::vector<Vec3> positions, normals;
  for (const Vec2& uv : uvs) {
    positions.push_back(Vec3{uv.u, uv.v, 0.0f});
    normals.push_back(normal);
  }
  return MakeFace(int32_t(uvs.size()), uvs, positions, normals);
}

const std::vector<Vec2> kUnitSquare = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

class TexelTableTest : public ::testing::Test {
 protected:
  void TearDown() override { UseFaces(nullptr); }

  // The records stay owned by the test; the state only borrows them.
  void UseFaces(std::vector<FaceRecord>* faces) {
    g_plugin.faceRecords = faces != nullptr && !faces->empty() ? faces->data() : nullptr;
    g_plugin.faceCount = faces != nullptr ? int32_t(faces->size()) : 0;
  }

  Table Build(std::vector<FaceRecord>& faces, int32_t size) {
    UseFaces(&faces);
    return Table(BuildTexelTable(size));
  }
};

const TexelEntry& At(const Table& table, int32_t size, int32_t column, int32_t row) {
  return table.get()[row * size + column];
}

void ExpectVecBits(const Vec3& actual, const Vec3& expected, const char* what) {
  EXPECT_EQ(FloatBits(actual.x), FloatBits(expected.x)) << what << ".x " << actual.x;
  EXPECT_EQ(FloatBits(actual.y), FloatBits(expected.y)) << what << ".y " << actual.y;
  EXPECT_EQ(FloatBits(actual.z), FloatBits(expected.z)) << what << ".z " << actual.z;
}

int CountClaimed(const Table& table, int32_t size) {
  int claimed = 0;
  for (int32_t e = 0; e < size * size; ++e) claimed += table.get()[e].face != -1;
  return claimed;
}

// ---------------------------------------------------------------------------
// A plain reference walk, structured differently from the library's: each
// sample's eight attributes (u, v, position, normal) sit in one array, the
// rails are laid out in full before any cross walk, additions are native
// float additions (equal to the double sum rounded to float, since double
// carries more than twice float's precision), and texel coordinates come
// from std::trunc with std::clamp. It has no guards: feed it finite UVs only.

using Attributes = std::array<float, 8>;

Attributes AttributesOf(const FaceRecord& r, int k) {
  if (k == 3 && r.pointCount == 3) k = 0;
  const Vec2& uv = r.cornerUVs[k];
  const Vec3& p = r.cornerPositions[k];
  const Vec3& n = r.cornerNormals[k];
  return {uv.u, uv.v, p.x, p.y, p.z, n.x, n.y, n.z};
}

int32_t Intervals(int32_t size, const Attributes& a, const Attributes& b) {
  const double du = double(b[0]) - double(a[0]);
  const double dv = double(b[1]) - double(a[1]);
  return 1 + int32_t(std::trunc(2.0 * size * std::sqrt(du * du + dv * dv)));
}

// Sample points from `from` to `to` in `intervals` equal steps, both ends.
std::vector<Attributes> Line(const Attributes& from, const Attributes& to, int32_t intervals) {
  Attributes step;
  for (int k = 0; k < 8; ++k) step[k] = float((double(to[k]) - double(from[k])) / intervals);
  std::vector<Attributes> points;
  Attributes running = from;
  for (int32_t s = 0; s <= intervals; ++s) {
    points.push_back(running);
    for (int k = 0; k < 8; ++k) running[k] = running[k] + step[k];
  }
  return points;
}

std::vector<TexelEntry> ReferenceTable(const std::vector<FaceRecord>& faces, int32_t size) {
  std::vector<TexelEntry> table(size_t(size) * size, TexelEntry{-1, {}, {}});
  for (size_t i = 0; i < faces.size(); ++i) {
    if (faces[i].valid == 0) continue;
    const Attributes c0 = AttributesOf(faces[i], 0), c1 = AttributesOf(faces[i], 1);
    const Attributes c2 = AttributesOf(faces[i], 2), c3 = AttributesOf(faces[i], 3);
    const int32_t railIntervals = std::max(Intervals(size, c0, c1), Intervals(size, c3, c2));
    const std::vector<Attributes> railA = Line(c0, c1, railIntervals);
    const std::vector<Attributes> railB = Line(c3, c2, railIntervals);
    for (int32_t s = 0; s <= railIntervals; ++s) {
      for (const Attributes& x : Line(railA[s], railB[s], Intervals(size, railA[s], railB[s]))) {
        const auto texel = [size](float coordinate) {
          const double t = std::trunc(double(float(size)) * double(coordinate));
          return int32_t(std::clamp(t, 0.0, double(size - 1)));
        };
        TexelEntry& e = table[size_t(texel(x[1])) * size + texel(x[0])];
        if (e.face != -1) continue;
        e.face = int32_t(i);
        e.position = Vec3{x[2], x[3], x[4]};
        e.normal = Vec3{x[5], x[6], x[7]};
      }
    }
  }
  return table;
}

void ExpectTablesEqual(const Table& table, const std::vector<TexelEntry>& reference,
                       int32_t size) {
  ASSERT_NE(table, nullptr);
  int mismatches = 0;
  for (int32_t e = 0; e < size * size && mismatches < 5; ++e) {
    const TexelEntry& a = table.get()[e];
    const TexelEntry& b = reference[e];
    const bool same = a.face == b.face &&
                      (a.face == -1 ||
                       (FloatBits(a.normal.x) == FloatBits(b.normal.x) &&
                        FloatBits(a.normal.y) == FloatBits(b.normal.y) &&
                        FloatBits(a.normal.z) == FloatBits(b.normal.z) &&
                        FloatBits(a.position.x) == FloatBits(b.position.x) &&
                        FloatBits(a.position.y) == FloatBits(b.position.y) &&
                        FloatBits(a.position.z) == FloatBits(b.position.z)));
    if (!same) {
      ++mismatches;
      ADD_FAILURE() << "size " << size << " texel (" << e % size << ", " << e / size
                    << "): face " << a.face << " vs reference " << b.face;
    }
  }
}

// ---------------------------------------------------------------------------

TEST_F(TexelTableTest, RefusesSizesBelowOneAndTablesTooLarge) {
  std::vector<FaceRecord> faces = {FlatFace(kUnitSquare)};
  for (int32_t size : {0, -1, -64, std::numeric_limits<int32_t>::min(),
                       // 17520^2 x 28 bytes is just above 8 GiB.
                       17520, 1 << 16, std::numeric_limits<int32_t>::max()}) {
    EXPECT_EQ(Build(faces, size), nullptr) << "size " << size;
  }
}

TEST_F(TexelTableTest, NoFacesOrOnlyInvalidFacesLeaveEveryTexelEmpty) {
  std::vector<FaceRecord> none;
  Table empty = Build(none, 8);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(CountClaimed(empty, 8), 0);

  // Invalid records are skipped on `valid` alone, whatever else they hold.
  std::vector<FaceRecord> invalid = {FlatFace({{0, 0}, {1, 0}}), FlatFace(kUnitSquare)};
  invalid[1].valid = 0;
  Table table = Build(invalid, 8);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CountClaimed(table, 8), 0);

  // A count without an array reads nothing.
  g_plugin.faceRecords = nullptr;
  g_plugin.faceCount = 3;
  Table orphan(BuildTexelTable(8));
  ASSERT_NE(orphan, nullptr);
  EXPECT_EQ(CountClaimed(orphan, 8), 0);
}

TEST_F(TexelTableTest, TriangleAtSizeFour) {
  const Vec3 n0{0.0f, 0.6f, -0.8f};
  std::vector<FaceRecord> faces = {
      MakeFace(3, {{0, 0}, {1, 0}, {0, 1}}, {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}},
               {n0, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}})};
  Table table = Build(faces, 4);
  ASSERT_NE(table, nullptr);

  // The first sample is corner 0 itself, before any addition.
  EXPECT_EQ(At(table, 4, 0, 0).face, 0);
  ExpectVecBits(At(table, 4, 0, 0).position, Vec3{0.0f, 0.0f, 0.0f}, "position");
  ExpectVecBits(At(table, 4, 0, 0).normal, n0, "normal");

  // L = 1 gives D = 1 + trunc(8) = 9: rail A reaches u >= 1/4 first at step
  // 3, u = 3/9, and texel (1, 0) keeps that sample (D = 8 would give 0.375).
  EXPECT_EQ(At(table, 4, 1, 0).face, 0);
  EXPECT_NEAR(At(table, 4, 1, 0).position.x, 1.0 / 3.0, 1e-6);
  EXPECT_EQ(At(table, 4, 1, 0).position.y, 0.0f);

  for (int32_t row = 0; row < 4; ++row) {
    for (int32_t column = 0; column < 4; ++column) {
      // Texels with c + r <= 3 reach inside the triangle; c + r >= 5 lie
      // wholly beyond the diagonal. c + r = 4 only touches it at a corner,
      // where float error decides.
      if (column + row <= 3) {
        EXPECT_EQ(At(table, 4, column, row).face, 0) << column << "," << row;
      } else if (column + row >= 5) {
        EXPECT_EQ(At(table, 4, column, row).face, -1) << column << "," << row;
      }
    }
  }
}

TEST_F(TexelTableTest, TriangleIgnoresItsUndefinedFourthCorner) {
  // MakeFace fills corner 3 of a triangle with NaN; the walk must use
  // corner 0 in its place, so the face is walked and not skipped.
  std::vector<FaceRecord> faces = {FlatFace({{0, 0}, {1, 0}, {0, 1}})};
  ASSERT_TRUE(std::isnan(faces[0].cornerUVs[3].u));
  Table table = Build(faces, 4);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(At(table, 4, 0, 3).face, 0);
  ExpectTablesEqual(table, ReferenceTable(faces, 4), 4);
}

TEST_F(TexelTableTest, UnitQuadAtSizeFourClaimsAllTexelsWithFirstSample) {
  std::vector<FaceRecord> faces = {FlatFace(kUnitSquare)};
  Table table = Build(faces, 4);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CountClaimed(table, 4), 16);
  // D = M = 9: the first sample in texel (1, 1) is rail step 3, cross step
  // 3, at (3/9, 3/9), not the texel centre (0.375, 0.375).
  const TexelEntry& e = At(table, 4, 1, 1);
  EXPECT_NEAR(e.position.x, 1.0 / 3.0, 1e-6);
  EXPECT_NEAR(e.position.y, 1.0 / 3.0, 1e-6);
  EXPECT_EQ(e.position.z, 0.0f);
  // Constant corner normals give increments of exactly 0.
  ExpectVecBits(e.normal, Vec3{0.0f, 0.0f, -1.0f}, "normal");
}

TEST_F(TexelTableTest, LowerFaceIndexWinsOverlaps) {
  // Face 0 covers the right half, face 1 the whole square.
  std::vector<FaceRecord> faces = {
      FlatFace({{0.5f, 0}, {1, 0}, {1, 1}, {0.5f, 1}}, Vec3{1.0f, 0.0f, 0.0f}),
      FlatFace(kUnitSquare, Vec3{0.0f, 1.0f, 0.0f})};
  Table table = Build(faces, 4);
  ASSERT_NE(table, nullptr);
  for (int32_t row = 0; row < 4; ++row) {
    for (int32_t column = 0; column < 4; ++column) {
      const TexelEntry& e = At(table, 4, column, row);
      const int expected = column >= 2 ? 0 : 1;
      ASSERT_EQ(e.face, expected) << column << "," << row;
      ExpectVecBits(e.normal, expected == 0 ? Vec3{1, 0, 0} : Vec3{0, 1, 0}, "normal");
      // Face 0 starts at u = 0.5 and only moves right.
      if (expected == 0) {
        EXPECT_GE(e.position.x, 0.5f);
      }
    }
  }
}

struct PointCase {
  Vec2 uv;
  int32_t column, row;
};

TEST_F(TexelTableTest, DegenerateUVPointClaimsOneTexelWithCornerZero) {
  // Column = trunc(4u), row = trunc(4v), each clamped into [0, 3].
  const PointCase cases[] = {
      {{0.6f, 0.3f}, 2, 1},   {{1.0f, 1.0f}, 3, 3},   {{-0.3f, 0.5f}, 0, 2},
      {{0.25f, 0.0f}, 1, 0},  {{-0.2f, -5.0f}, 0, 0}, {{0.999f, 2.0f}, 3, 3},
      {{-0.1f, 0.1f}, 0, 0},  {{0.0f, 0.75f}, 0, 3},  {{1e30f, -1e30f}, 3, 0},
  };
  for (const PointCase& c : cases) {
    // Same UV at every corner; positions and normals differ per corner.
    std::vector<FaceRecord> faces = {MakeFace(
        4, {c.uv, c.uv, c.uv, c.uv},
        {{1.0f, 2.0f, 3.0f}, {4.0f, 5.0f, 6.0f}, {7.0f, 8.0f, 9.0f}, {-1.0f, -2.0f, -3.0f}},
        {{0.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f}})};
    Table table = Build(faces, 4);
    ASSERT_NE(table, nullptr);
    SCOPED_TRACE(testing::Message() << "uv (" << c.uv.u << ", " << c.uv.v << ")");
    EXPECT_EQ(CountClaimed(table, 4), 1);
    const TexelEntry& e = At(table, 4, c.column, c.row);
    EXPECT_EQ(e.face, 0);
    ExpectVecBits(e.position, Vec3{1.0f, 2.0f, 3.0f}, "position");
    ExpectVecBits(e.normal, Vec3{0.0f, 0.0f, 1.0f}, "normal");
  }
}

TEST_F(TexelTableTest, SizeOneHoldsLowestValidFaceAtCornerZero) {
  std::vector<FaceRecord> faces = {
      FlatFace({{0, 0}, {1, 0}}),  // two points: invalid
      MakeFace(3, {{5, 5}, {-3, 2}, {0.5f, 0.5f}}, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}},
               {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}),
      FlatFace(kUnitSquare)};
  Table table = Build(faces, 1);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table.get()[0].face, 1);
  ExpectVecBits(table.get()[0].position, Vec3{1, 1, 1}, "position");
  ExpectVecBits(table.get()[0].normal, Vec3{0, 1, 0}, "normal");
}

TEST_F(TexelTableTest, InterpolatedNormalsAreNotRenormalised) {
  const float h = 0.70710677f;
  // Corners 0 and 3 lean to +x, corners 1 and 2 (at u = 1) to -x.
  std::vector<FaceRecord> faces = {MakeFace(
      4, kUnitSquare, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
      {{h, 0, h}, {-h, 0, h}, {-h, 0, h}, {h, 0, h}})};
  Table table = Build(faces, 8);
  ASSERT_NE(table, nullptr);
  for (int32_t column = 1; column < 7; ++column) {
    const TexelEntry& e = At(table, 8, column, 4);
    ASSERT_EQ(e.face, 0);
    // The blend at rail fraction s = position.x is ((1 - 2s) h, 0, h).
    const double s = e.position.x;
    EXPECT_NEAR(e.normal.x, (1.0 - 2.0 * s) * h, 1e-5) << "column " << column;
    EXPECT_NEAR(e.normal.z, h, 1e-6);
    EXPECT_LT(SquaredLength(e.normal), 0.99) << "column " << column;
  }
}

TEST_F(TexelTableTest, FivePointFaceIsWalkedAsItsFirstFourCorners) {
  std::vector<FaceRecord> faces = {FlatFace(kUnitSquare)};
  faces[0].pointCount = 5;
  Table table = Build(faces, 4);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CountClaimed(table, 4), 16);
  ExpectTablesEqual(table, ReferenceTable(faces, 4), 4);
}

TEST_F(TexelTableTest, MatchesReferenceWalkOnRandomMeshes) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<float> uvCoord(-0.25f, 1.25f);
  std::uniform_real_distribution<float> spread(0.0f, 0.4f);
  std::uniform_real_distribution<float> coord(-10.0f, 10.0f);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_int_distribution<int> points(2, 6);
  for (int mesh = 0; mesh < 12; ++mesh) {
    std::vector<FaceRecord> faces;
    const int faceCount = 5 + mesh * 3;
    for (int f = 0; f < faceCount; ++f) {
      const int pointCount = points(rng);
      // Small faces around a random centre, so that faces overlap in parts.
      const float cu = uvCoord(rng), cv = uvCoord(rng), r = spread(rng);
      std::vector<Vec2> uvs;
      std::vector<Vec3> positions, normals;
      for (int k = 0; k < std::min(pointCount, 4); ++k) {
        uvs.push_back(Vec2{cu + r * unit(rng), cv + r * unit(rng)});
        positions.push_back(Vec3{coord(rng), coord(rng), coord(rng)});
        normals.push_back(Vec3{unit(rng), unit(rng), unit(rng)});
      }
      faces.push_back(MakeFace(pointCount, uvs, positions, normals));
    }
    for (int32_t size : {1, 2, 5, 16, 37, 64}) {
      SCOPED_TRACE(testing::Message() << "mesh " << mesh << " size " << size);
      Table table = Build(faces, size);
      ExpectTablesEqual(table, ReferenceTable(faces, size), size);
    }
  }
}

TEST_F(TexelTableTest, NonFiniteUVsSkipTheFace) {
  const float bad[] = {kNaN, kInf, -kInf};
  for (float value : bad) {
    for (int corner = 0; corner < 4; ++corner) {
      for (int axis = 0; axis < 2; ++axis) {
        SCOPED_TRACE(testing::Message() << "value " << value << " corner " << corner << " axis " << axis);
        // Face 0 is broken, face 1 covers the left column only.
        std::vector<FaceRecord> faces = {FlatFace(kUnitSquare),
                                         FlatFace({{0, 0}, {0.2f, 0}, {0.2f, 1}, {0, 1}})};
        (axis == 0 ? faces[0].cornerUVs[corner].u : faces[0].cornerUVs[corner].v) = value;
        Table table = Build(faces, 4);
        ASSERT_NE(table, nullptr);
        for (int32_t row = 0; row < 4; ++row) {
          for (int32_t column = 0; column < 4; ++column) {
            EXPECT_EQ(At(table, 4, column, row).face, column == 0 ? 1 : -1) << column << "," << row;
          }
        }
      }
    }
  }
}

TEST_F(TexelTableTest, HugeFiniteUVsSkipTheFace) {
  // Distances of about 1e6 (and of 2 x FLT_MAX, finite only in double) are
  // far past the walk bound: without it the first would take ~1e16 samples.
  const std::vector<std::vector<Vec2>> wild = {
      {{0, 0}, {1e6f, 0}, {1e6f, 1e6f}, {0, 1e6f}},
      {{-kFloatMax, -kFloatMax}, {kFloatMax, -kFloatMax}, {kFloatMax, kFloatMax}, {-kFloatMax, kFloatMax}},
      {{0, 0}, {1, 0}, {1, 1}, {0, 1e6f}},
  };
  for (const auto& uvs : wild) {
    std::vector<FaceRecord> faces = {FlatFace(uvs), FlatFace({{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}})};
    Table table = Build(faces, 64);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(CountClaimed(table, 64), 1);
    EXPECT_EQ(At(table, 64, 32, 32).face, 1);
  }
}

TEST_F(TexelTableTest, NonFinitePositionsAndNormalsAreWalkedWithoutHarm) {
  // Positions and normals are only carried along; the UV coverage is the
  // same as for a finite face.
  std::vector<FaceRecord> finite = {FlatFace(kUnitSquare)};
  std::vector<FaceRecord> broken = finite;
  broken[0].cornerPositions[1] = Vec3{kNaN, kInf, -kInf};
  broken[0].cornerNormals[2] = Vec3{kInf, kNaN, kFloatMax};
  Table a = Build(finite, 8);
  Table b = Build(broken, 8);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  for (int32_t e = 0; e < 64; ++e) EXPECT_EQ(a.get()[e].face, b.get()[e].face) << e;
  EXPECT_EQ(CountClaimed(b, 8), 64);
}

TEST_F(TexelTableTest, WalkBoundAdmitsSixteenSquareAtSize8192) {
  // The largest distance within a 16 x 16 square is its diagonal.
  EXPECT_LE(2.0 * 8192 * std::sqrt(16.0 * 16.0 + 16.0 * 16.0), kMaxWalkIntervals);
}

TEST_F(TexelTableTest, FaceJustInsideTheBoundIsWalkedExactly) {
  // At size 64 the bound is a UV distance of kMaxWalkIntervals / 128, about
  // 2896.33. A thin quad 0.01 high: rails short (D = 2), cross lines long.
  const float inside = 2896.25f;  // 128 x diameter ~ 370720
  const float outside = 2896.5f;  // 128 x diameter ~ 370752
  ASSERT_LT(128.0 * std::sqrt(double(inside) * inside + 1e-4), kMaxWalkIntervals);
  ASSERT_GT(128.0 * outside, kMaxWalkIntervals);

  std::vector<FaceRecord> faces = {FlatFace({{0, 0}, {0, 0.01f}, {inside, 0.01f}, {inside, 0}})};
  Table table = Build(faces, 64);
  ExpectTablesEqual(table, ReferenceTable(faces, 64), 64);
  EXPECT_EQ(CountClaimed(table, 64), 64);  // row 0, every column
  EXPECT_EQ(At(table, 64, 63, 0).face, 0);

  faces[0] = FlatFace({{0, 0}, {0, 0.01f}, {outside, 0.01f}, {outside, 0}});
  Table skipped = Build(faces, 64);
  ASSERT_NE(skipped, nullptr);
  EXPECT_EQ(CountClaimed(skipped, 64), 0);
}

TEST_F(TexelTableTest, RowMajorLayout) {
  // A point at column 3, row 1 of a 5 x 5 table is entry 1 x 5 + 3 = 8.
  std::vector<FaceRecord> faces = {FlatFace({{0.7f, 0.3f}, {0.7f, 0.3f}, {0.7f, 0.3f}})};
  Table table = Build(faces, 5);
  ASSERT_NE(table, nullptr);
  for (int32_t e = 0; e < 25; ++e) EXPECT_EQ(table.get()[e].face, e == 8 ? 0 : -1) << e;
}

}  // namespace
