#include "mesh/face_records.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "document.h"
#include "shell/plugin_state.h"
#include "test_support.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
// 1/sqrt(2) rounded to float: 0x3F3504F3.
const float kHalfRoot2 = FloatFromBits(0x3F3504F3u);
const Vec3 kZero = {0.0f, 0.0f, 0.0f};

// Exact comparison of values. Signed zeros compare equal: the cross product
// gives -0 or +0 depending on the operand order, and no consumer tells them
// apart, so only the value is part of the contract.
void ExpectVecEq(const Vec3& actual, const Vec3& expected, const std::string& what = "") {
  EXPECT_EQ(actual.x, expected.x) << what << " x, bits " << std::hex << FloatBits(actual.x);
  EXPECT_EQ(actual.y, expected.y) << what << " y, bits " << std::hex << FloatBits(actual.y);
  EXPECT_EQ(actual.z, expected.z) << what << " z, bits " << std::hex << FloatBits(actual.z);
}

void ExpectVecNear(const Vec3& actual, double x, double y, double z, double tolerance = 1e-6) {
  EXPECT_NEAR(actual.x, x, tolerance);
  EXPECT_NEAR(actual.y, y, tolerance);
  EXPECT_NEAR(actual.z, z, tolerance);
}

// A unit vector written from exact components, rounded once per component.
Vec3 Unit(double x, double y, double z) {
  const double length = std::sqrt(x * x + y * y + z * z);
  return Vec3{RoundToFloat(x / length), RoundToFloat(y / length), RoundToFloat(z / length)};
}

// ---------------------------------------------------------------------------
// TriangleNormal and QuadNormal

struct TriangleCase {
  const char* name;
  Vec3 p0, p1, p2;
  Vec3 expected;
};

TEST(TriangleNormal, Cases) {
  // The normal runs along (p2 - p0) x (p1 - p0), worked out by hand.
  const TriangleCase cases[] = {
      {"unit right triangle", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
      {"reversed winding", {0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
      // (0,1,1) x (1,0,0) = (0, 1, -1); over sqrt(2).
      {"tilted", {0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {0, kHalfRoot2, -kHalfRoot2}},
      // (0,0,5) x (3,0,0) = (0, 15, 0).
      {"scaled edges", {0, 0, 0}, {3, 0, 0}, {0, 0, 5}, {0, 1, 0}},
      {"offset", {10, 20, 30}, {11, 20, 30}, {10, 21, 30}, {0, 0, -1}},
      {"collinear", {0, 0, 0}, {1, 1, 1}, {2, 2, 2}, kZero},
      {"coincident", {1, 2, 3}, {1, 2, 3}, {1, 2, 3}, kZero},
      {"two corners coincide", {0, 0, 0}, {0, 0, 0}, {1, 0, 0}, kZero},
      // A cross product of -1e-40 is a subnormal float, not zero: it still
      // normalises to a unit vector.
      {"tiny but nonzero", {0, 0, 0}, {1e-20f, 0, 0}, {0, 1e-20f, 0}, {0, 0, -1}},
      // 1e-60 is stored as float 0 in the local cross product, so the face
      // counts as degenerate.
      {"cross underflows", {0, 0, 0}, {1e-30f, 0, 0}, {0, 1e-30f, 0}, kZero},
  };
  for (const TriangleCase& c : cases) ExpectVecEq(TriangleNormal(c.p0, c.p1, c.p2), c.expected, c.name);
}

TEST(TriangleNormal, RandomTrianglesGiveOrientedUnitNormals) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> coord(-5.0f, 5.0f);
  for (int i = 0; i < 1000; ++i) {
    const Vec3 p0{coord(rng), coord(rng), coord(rng)};
    const Vec3 p1{coord(rng), coord(rng), coord(rng)};
    const Vec3 p2{coord(rng), coord(rng), coord(rng)};
    const double ax = double(p2.x) - p0.x, ay = double(p2.y) - p0.y, az = double(p2.z) - p0.z;
    const double bx = double(p1.x) - p0.x, by = double(p1.y) - p0.y, bz = double(p1.z) - p0.z;
    const double cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
    const double cross = std::sqrt(cx * cx + cy * cy + cz * cz);
    if (cross < 1e-2) continue;  // nearly degenerate: direction ill-defined
    const Vec3 n = TriangleNormal(p0, p1, p2);
    EXPECT_NEAR(SquaredLength(n), 1.0, 1e-6);
    // Same direction as (p2 - p0) x (p1 - p0).
    EXPECT_NEAR((n.x * cx + n.y * cy + n.z * cz) / cross, 1.0, 1e-4);
  }
}

struct QuadCase {
  const char* name;
  Vec3 p0, p1, p2, p3;
  Vec3 expected;
  double tolerance;  // 0: exactly
};

TEST(QuadNormal, Cases) {
  const double r3 = 1.0 / std::sqrt(3.0);
  const QuadCase cases[] = {
      {"planar square", {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, -1}, 0},
      {"planar reversed", {0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 1}, 0},
      {"planar trapezoid", {0, 0, 5}, {4, 0, 5}, {3, 2, 5}, {1, 2, 5}, {0, 0, -1}, 0},
      // Corner 3 lifted: the p0-p2 halves are (0,0,-1) and (-1,1,-1)/sqrt3
      // (dot 0.577), the p1-p3 halves (-1,0,-1)/sqrt2 and (0,1,-1)/sqrt2
      // (dot 0.5): the p0-p2 split wins.
      {"corner 3 lifted", {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}, Unit(-r3, r3, -1 - r3), 1e-6},
      // Corner 0 lifted: the p1-p3 halves are (0,0,-1) and (-1,-1,-1)/sqrt3,
      // the p0-p2 halves (-1,0,-1)/sqrt2 and (0,-1,-1)/sqrt2: p1-p3 wins.
      {"corner 0 lifted", {0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, Unit(-r3, -r3, -1 - r3), 1e-6},
      // Both splits have perpendicular halves (dot exactly 0): p0-p2 gives
      // (-1,0,1)/sqrt2 and (1,2,1)/sqrt6, p1-p3 gives (1,0,1)/sqrt2 and
      // (-1,4,1)/sqrt18, whose sum runs along (1, 2, 2). The tie takes p1-p3.
      {"tie", {0, 1, -1}, {1, 1, 0}, {1, 0, 0}, {-1, 0, 2}, Unit(1, 2, 2), 1e-6},
      {"all coincident", {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, kZero, 0},
      {"all collinear", {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, kZero, 0},
  };
  for (const QuadCase& c : cases) {
    const Vec3 n = QuadNormal(c.p0, c.p1, c.p2, c.p3);
    SCOPED_TRACE(c.name);
    if (c.tolerance == 0) {
      ExpectVecEq(n, c.expected, c.name);
    } else {
      ExpectVecNear(n, c.expected.x, c.expected.y, c.expected.z, c.tolerance);
    }
  }
}

TEST(QuadNormal, CornersTwoAndThreeCoincidingTakeTheP1P3Split) {
  // a2 = TriangleNormal(p0, p2, p2) and b1 = TriangleNormal(p1, p2, p2) are
  // zero, so dA = dB = 0 and the result is b2 = TriangleNormal(p1, p3, p0)
  // normalised once more.
  const Vec3 p0{0.3f, -1.7f, 2.1f}, p1{4.9f, 0.2f, -0.6f}, p2{1.1f, 3.3f, 0.7f};
  const Vec3 b2 = TriangleNormal(p1, p2, p0);
  const Vec3 expected = Unit(b2.x, b2.y, b2.z);
  ExpectVecEq(QuadNormal(p0, p1, p2, p2), expected);
  // The same plane as (p0, p1, p2), up to rounding.
  const Vec3 a1 = TriangleNormal(p0, p1, p2);
  ExpectVecNear(expected, a1.x, a1.y, a1.z, 1e-6);
}

// ---------------------------------------------------------------------------
// SmoothVertexNormals on hand-made records

FaceRecord Triangle(int v0, int v1, int v2, Vec3 faceNormal) {
  FaceRecord r{};
  r.pointCount = 3;
  r.valid = 1;
  r.faceNormal = faceNormal;
  r.cornerVertices[0] = v0;
  r.cornerVertices[1] = v1;
  r.cornerVertices[2] = v2;
  // Corner 3 of a triangle is undefined: reading it would add the face's
  // normal to v0 a second time.
  r.cornerVertices[3] = v0;
  return r;
}

TEST(SmoothVertexNormals, EachAdditionIsRoundedInAscendingFaceOrder) {
  const float tiny = std::ldexp(1.0f, -25);  // below half an ulp of 1
  // Face 0 brings (1, 0, 1); four faces of (2^-25, 0, 0) follow. Each
  // 1 + 2^-25 rounds back to 1, so the sum stays (1, 0, 1).
  std::vector<FaceRecord> faces = {Triangle(0, 1, 2, {1, 0, 1})};
  for (int i = 0; i < 4; ++i) faces.push_back(Triangle(0, 1, 2, {tiny, 0, 0}));
  std::vector<Vec3> normals(3, kZero);
  SmoothVertexNormals(faces.data(), int32_t(faces.size()), normals.data(), 3);
  ExpectVecEq(normals[0], {kHalfRoot2, 0, kHalfRoot2}, "large first");

  // Small ones first: they add up to 2^-23 exactly, and 1 + 2^-23 is a
  // float, so the x component ends a little larger than z.
  std::vector<FaceRecord> reversed(faces.rbegin(), faces.rend());
  std::vector<Vec3> normals2(3, kZero);
  SmoothVertexNormals(reversed.data(), int32_t(reversed.size()), normals2.data(), 3);
  ExpectVecEq(normals2[0], Unit(1.0 + std::ldexp(1.0, -23), 0, 1), "small first");
  EXPECT_NE(FloatBits(normals2[0].x), FloatBits(normals2[0].z));
}

TEST(SmoothVertexNormals, RepeatedVertexInOneFaceCountsTwice) {
  // Vertex 0 is corners 0 and 3 of a quad with normal (0,0,-1), and a corner
  // of a triangle with normal (0,-1,0): sum (0, -1, -2).
  FaceRecord quad{};
  quad.pointCount = 4;
  quad.valid = 1;
  quad.faceNormal = {0, 0, -1};
  const int32_t quadVertices[4] = {0, 1, 2, 0};
  for (int k = 0; k < 4; ++k) quad.cornerVertices[k] = quadVertices[k];
  std::vector<FaceRecord> faces = {quad, Triangle(0, 3, 1, {0, -1, 0})};
  std::vector<Vec3> normals(4, kZero);
  SmoothVertexNormals(faces.data(), 2, normals.data(), 4);
  ExpectVecEq(normals[0], Unit(0, -1, -2), "vertex 0");
  ExpectVecEq(faces[0].cornerNormals[3], Unit(0, -1, -2), "quad corner 3");
  ExpectVecEq(normals[1], Unit(0, -1, -1), "vertex 1");
  ExpectVecEq(normals[2], {0, 0, -1}, "vertex 2");
  ExpectVecEq(normals[3], {0, -1, 0}, "vertex 3");
}

TEST(SmoothVertexNormals, ZeroCancelledAndNaNSumsBecomeZero) {
  std::vector<FaceRecord> faces = {
      Triangle(0, 1, 2, {0, 0, 1}), Triangle(0, 1, 3, {0, 0, -1}),  // cancel at 0 and 1
      Triangle(4, 5, 6, {kNaN, 0, 0}),                               // NaN at 4, 5, 6
      Triangle(6, 7, 8, kZero),                                      // degenerate
  };
  faces.push_back(Triangle(7, 7, 7, {0, 1, 0}));
  faces.back().valid = 0;  // invalid records add nothing
  std::vector<Vec3> normals(10, kZero);
  SmoothVertexNormals(faces.data(), int32_t(faces.size()), normals.data(), 10);
  for (int v : {0, 1, 4, 5, 6, 7, 8, 9}) ExpectVecEq(normals[v], kZero, "vertex " + std::to_string(v));
  ExpectVecEq(normals[2], {0, 0, 1}, "vertex 2");
  ExpectVecEq(normals[3], {0, 0, -1}, "vertex 3");
  // Corners take their vertex's entry, the degenerate face's included.
  ExpectVecEq(faces[0].cornerNormals[2], {0, 0, 1}, "face 0 corner 2");
  ExpectVecEq(faces[3].cornerNormals[0], kZero, "face 3 corner 0");
}

TEST(SmoothVertexNormals, OutOfRangeVerticesAreSkippedAndGetZero) {
  std::vector<FaceRecord> faces = {Triangle(0, -1, 3, {0, 0, -1}), Triangle(INT_MIN, 1, INT_MAX, {0, 1, 0})};
  // Two sentinels past the three entries the function is given.
  const Vec3 sentinel{123.0f, 456.0f, 789.0f};
  std::vector<Vec3> normals = {kZero, kZero, kZero, sentinel, sentinel};
  SmoothVertexNormals(faces.data(), 2, normals.data(), 3);
  ExpectVecEq(normals[0], {0, 0, -1}, "vertex 0");
  ExpectVecEq(normals[1], {0, 1, 0}, "vertex 1");
  ExpectVecEq(normals[2], kZero, "vertex 2");
  ExpectVecEq(normals[3], sentinel, "past the end");
  ExpectVecEq(normals[4], sentinel, "past the end");
  ExpectVecEq(faces[0].cornerNormals[1], kZero, "index -1");
  ExpectVecEq(faces[0].cornerNormals[2], kZero, "index 3");
  ExpectVecEq(faces[1].cornerNormals[0], kZero, "INT_MIN");
  ExpectVecEq(faces[1].cornerNormals[1], {0, 1, 0}, "face 1 corner 1");
}

// ---------------------------------------------------------------------------
// GatherFaceRecords through the stand-in host

class GatherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    object_ = &host::AddObject(document_, "baked");
    BindStandInHost(document_);
    host::ClearCallLog();
  }
  void TearDown() override {
    delete[] g_plugin.faceRecords;
    g_plugin.faceRecords = nullptr;
    g_plugin.faceCount = 0;
    delete[] g_plugin.vertexNormals;
    g_plugin.vertexNormals = nullptr;
    g_plugin.vertexCount = 0;
    g_plugin.host = HostApi{};
  }

  void AddIndexedFace(std::vector<int> points, std::vector<Vec2> uvs = {}) {
    host::Face face;
    face.points = points;
    face.uvs = uvs;
    object_->faces.push_back(face);
  }

  void ExpectEmptyState() {
    EXPECT_EQ(g_plugin.faceRecords, nullptr);
    EXPECT_EQ(g_plugin.faceCount, 0);
    EXPECT_EQ(g_plugin.vertexNormals, nullptr);
    EXPECT_EQ(g_plugin.vertexCount, 0);
  }

  host::Document document_;
  host::Object* object_ = nullptr;
};

TEST_F(GatherTest, OneTriangleInHostCornerOrder) {
  // Vertices stored out of corner order; vertex 3 is used by no face.
  object_->vertices = {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {5, 5, 5}};
  AddIndexedFace({2, 0, 1}, {{0.1f, 0.2f}, {0.9f, 0.3f}, {0.4f, 0.8f}});
  ASSERT_TRUE(GatherFaceRecords());
  ASSERT_EQ(g_plugin.faceCount, 1);
  ASSERT_EQ(g_plugin.vertexCount, 4);
  const FaceRecord& r = g_plugin.faceRecords[0];
  EXPECT_EQ(r.faceIndex, 0);
  EXPECT_EQ(r.pointCount, 3);
  EXPECT_EQ(r.valid, 1);
  ExpectVecEq(r.faceNormal, {0, 0, -1}, "face normal");
  const int expectedVertices[3] = {2, 0, 1};
  const Vec2 expectedUVs[3] = {{0.1f, 0.2f}, {0.9f, 0.3f}, {0.4f, 0.8f}};
  const Vec3 expectedPositions[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(r.cornerVertices[k], expectedVertices[k]);
    EXPECT_EQ(FloatBits(r.cornerUVs[k].u), FloatBits(expectedUVs[k].u));
    EXPECT_EQ(FloatBits(r.cornerUVs[k].v), FloatBits(expectedUVs[k].v));
    ExpectVecEq(r.cornerPositions[k], expectedPositions[k], "position");
    ExpectVecEq(r.cornerNormals[k], {0, 0, -1}, "corner normal");
  }
  ExpectVecEq(g_plugin.vertexNormals[3], kZero, "unused vertex");
}

TEST_F(GatherTest, HostCallsInOrder) {
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 2, 2}};
  AddIndexedFace({0, 1, 2});        // triangle
  AddIndexedFace({3, 4});           // two points: only its count is asked
  AddIndexedFace({0, 1, 2, 3});     // quad
  AddIndexedFace({0, 1, 2, 3, 4});  // five points: four positions
  ASSERT_TRUE(GatherFaceRecords());
  const std::vector<std::string> face3 = {"MQObj_GetFacePointCount", "MQObj_GetFacePointArray",
                                          "MQObj_GetFaceCoordinateArray", "MQObj_GetVertex",
                                          "MQObj_GetVertex", "MQObj_GetVertex"};
  std::vector<std::string> expected = {"MQDoc_GetCurrentObjectIndex", "MQDoc_GetObject",
                                       "MQObj_GetFaceCount", "MQObj_GetVertexCount"};
  expected.insert(expected.end(), face3.begin(), face3.end());
  expected.push_back("MQObj_GetFacePointCount");
  for (int quad = 0; quad < 2; ++quad) {
    expected.insert(expected.end(), face3.begin(), face3.end());
    expected.push_back("MQObj_GetVertex");
  }
  EXPECT_EQ(host::CallLog(), expected);
  ASSERT_EQ(g_plugin.faceCount, 4);
  EXPECT_EQ(g_plugin.faceRecords[1].pointCount, 2);
  EXPECT_EQ(g_plugin.faceRecords[1].valid, 0);
  EXPECT_EQ(g_plugin.faceRecords[1].faceIndex, 1);
}

TEST_F(GatherTest, CoplanarQuadsShareTheirNormal) {
  // Two quads of different shapes in the plane z = 3, sharing vertices 1, 2.
  object_->vertices = {{0, 0, 3}, {2, 0, 3}, {2, 1, 3}, {0, 1, 3}, {5, 0, 3}, {4, 2, 3}};
  AddIndexedFace({0, 1, 2, 3});
  AddIndexedFace({1, 4, 5, 2});
  ASSERT_TRUE(GatherFaceRecords());
  ASSERT_EQ(g_plugin.faceCount, 2);
  for (int f = 0; f < 2; ++f) {
    const FaceRecord& r = g_plugin.faceRecords[f];
    ExpectVecEq(r.faceNormal, {0, 0, -1}, "face normal");
    for (int k = 0; k < 4; ++k) ExpectVecEq(r.cornerNormals[k], {0, 0, -1}, "corner normal");
  }
}

TEST_F(GatherTest, FoldedRightAngleAveragesSharedVertices) {
  // Face 0 in z = 0 with normal (0,0,-1); face 1 in y = 0 with normal
  // (0,-1,0): (p2-p0) x (p1-p0) = (1,0,0) x (0,0,1) = (0,-1,0). They share
  // vertices 0 and 1.
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  AddIndexedFace({0, 1, 2});
  AddIndexedFace({0, 3, 1});
  ASSERT_TRUE(GatherFaceRecords());
  ExpectVecEq(g_plugin.faceRecords[0].faceNormal, {0, 0, -1}, "face 0");
  ExpectVecEq(g_plugin.faceRecords[1].faceNormal, {0, -1, 0}, "face 1");
  const Vec3 shared = {0.0f, FloatFromBits(0xBF3504F3u), FloatFromBits(0xBF3504F3u)};  // -0.70710677
  ExpectVecEq(g_plugin.vertexNormals[0], shared, "vertex 0");
  ExpectVecEq(g_plugin.vertexNormals[1], shared, "vertex 1");
  ExpectVecEq(g_plugin.vertexNormals[2], {0, 0, -1}, "vertex 2");
  ExpectVecEq(g_plugin.vertexNormals[3], {0, -1, 0}, "vertex 3");
  ExpectVecEq(g_plugin.faceRecords[0].cornerNormals[0], shared, "face 0 corner 0");
  ExpectVecEq(g_plugin.faceRecords[0].cornerNormals[2], {0, 0, -1}, "face 0 corner 2");
  ExpectVecEq(g_plugin.faceRecords[1].cornerNormals[1], {0, -1, 0}, "face 1 corner 1");
  ExpectVecEq(g_plugin.faceRecords[1].cornerNormals[2], shared, "face 1 corner 2");
}

TEST_F(GatherTest, NonPlanarQuadAndCoincidingCorners) {
  const double r3 = 1.0 / std::sqrt(3.0);
  // The corner-3-lifted quad (p0-p2 split), then a quad whose corners 2
  // and 3 are the same vertex.
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}, {0.3f, -1.7f, 2.1f},
                       {4.9f, 0.2f, -0.6f}, {1.1f, 3.3f, 0.7f}};
  AddIndexedFace({0, 1, 2, 3});
  AddIndexedFace({4, 5, 6, 6});
  ASSERT_TRUE(GatherFaceRecords());
  const Vec3 lifted = g_plugin.faceRecords[0].faceNormal;
  ExpectVecNear(lifted, Unit(-r3, r3, -1 - r3).x, Unit(-r3, r3, -1 - r3).y, Unit(-r3, r3, -1 - r3).z);
  const FaceRecord& pinched = g_plugin.faceRecords[1];
  const Vec3 b2 = TriangleNormal(pinched.cornerPositions[1], pinched.cornerPositions[3],
                                 pinched.cornerPositions[0]);
  ExpectVecEq(pinched.faceNormal, Unit(b2.x, b2.y, b2.z), "pinched");
  // Vertex 6 received the pinched face's normal twice; normalised, the same.
  ExpectVecNear(g_plugin.vertexNormals[6], pinched.faceNormal.x, pinched.faceNormal.y,
                pinched.faceNormal.z);
}

TEST_F(GatherTest, NoFaces) {
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  ASSERT_TRUE(GatherFaceRecords());
  EXPECT_EQ(g_plugin.faceCount, 0);
  EXPECT_EQ(g_plugin.faceRecords, nullptr);
  ASSERT_EQ(g_plugin.vertexCount, 3);
  for (int v = 0; v < 3; ++v) ExpectVecEq(g_plugin.vertexNormals[v], kZero);
}

TEST_F(GatherTest, FivePointFaceKeepsFourCorners) {
  // Corner 4 lies far off the plane of the first four and must not matter.
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 2, 9}};
  AddIndexedFace({0, 1, 2, 3, 4}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 2}});
  ASSERT_TRUE(GatherFaceRecords());
  const FaceRecord& r = g_plugin.faceRecords[0];
  EXPECT_EQ(r.pointCount, 5);
  EXPECT_EQ(r.valid, 1);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(r.cornerVertices[k], k);
  EXPECT_EQ(r.cornerUVs[2].u, 1.0f);
  EXPECT_EQ(r.cornerUVs[3].v, 1.0f);
  ExpectVecEq(r.faceNormal, {0, 0, -1}, "face normal");
  for (int v = 0; v < 4; ++v) ExpectVecEq(g_plugin.vertexNormals[v], {0, 0, -1});
  ExpectVecEq(g_plugin.vertexNormals[4], kZero, "fifth vertex");
}

TEST_F(GatherTest, LargeFacesAreReadInFull) {
  // Faces larger than any small fixed buffer, then smaller ones reusing it.
  const int sizes[] = {40, 3, 100, 20, 4};
  int next = 0;
  for (int n : sizes) {
    std::vector<int> points;
    std::vector<Vec2> uvs;
    for (int k = 0; k < n; ++k) {
      // A regular polygon in z = 0, counter-clockwise seen from +z.
      const double angle = 2.0 * 3.141592653589793 * k / n;
      object_->vertices.push_back(Vec3{float(std::cos(angle)), float(std::sin(angle)), 0.0f});
      points.push_back(next++);
      uvs.push_back(Vec2{float(n), float(k)});
    }
    AddIndexedFace(points, uvs);
  }
  ASSERT_TRUE(GatherFaceRecords());
  ASSERT_EQ(g_plugin.faceCount, 5);
  int first = 0;
  for (int f = 0; f < 5; ++f) {
    const FaceRecord& r = g_plugin.faceRecords[f];
    EXPECT_EQ(r.pointCount, sizes[f]);
    EXPECT_EQ(r.valid, 1);
    for (int k = 0; k < (sizes[f] == 3 ? 3 : 4); ++k) {
      EXPECT_EQ(r.cornerVertices[k], first + k) << "face " << f;
      EXPECT_EQ(r.cornerUVs[k].u, float(sizes[f]));
      EXPECT_EQ(r.cornerUVs[k].v, float(k));
    }
    // Counter-clockwise from +z means clockwise from -z.
    EXPECT_NEAR(r.faceNormal.z, -1.0, 1e-6) << "face " << f;
    first += sizes[f];
  }
}

TEST_F(GatherTest, OutOfRangeVertexIndexIsNeverAskedOrWritten) {
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  AddIndexedFace({0, 1, 7});
  AddIndexedFace({0, -1, 1, 2});
  AddIndexedFace({0, 1, 2});
  ASSERT_TRUE(GatherFaceRecords());
  // 2 + 3 + 3 positions asked, none for index 7 or -1.
  EXPECT_EQ(host::CallCount("MQObj_GetVertex"), 8);
  const FaceRecord& a = g_plugin.faceRecords[0];
  EXPECT_EQ(a.valid, 1);
  EXPECT_EQ(a.cornerVertices[2], 7);
  ExpectVecEq(a.cornerPositions[2], kZero, "missing position");
  ExpectVecEq(a.cornerNormals[2], kZero, "missing normal");
  // Face 0 is then (0,0,0),(1,0,0),(0,0,0): degenerate, adds nothing.
  ExpectVecEq(a.faceNormal, kZero, "degenerate");
  ExpectVecEq(g_plugin.faceRecords[1].cornerNormals[1], kZero, "index -1");
  // Face 1 is (0,0,0),(0,0,0),(1,0,0),(0,1,0), whose p1-p3 split holds the
  // full triangle: (0,0,-1). Face 2 is the same triangle.
  for (int v = 0; v < 3; ++v) ExpectVecEq(g_plugin.vertexNormals[v], {0, 0, -1});
}

TEST_F(GatherTest, GatheringTwiceReplacesTheFirstArrays) {
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  AddIndexedFace({0, 1, 2});
  ASSERT_TRUE(GatherFaceRecords());
  ASSERT_EQ(g_plugin.faceCount, 1);

  // A second object becomes current, with different counts.
  host::Object& second = host::AddObject(document_, "second");
  second.vertices = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 1}, {2, 2, 2}};
  host::Face f0, f1;
  f0.points = {0, 1, 2};
  f1.points = {3, 4};
  second.faces = {f0, f1};
  document_.currentObject = 1;
  ASSERT_TRUE(GatherFaceRecords());
  ASSERT_EQ(g_plugin.faceCount, 2);
  ASSERT_EQ(g_plugin.vertexCount, 5);
  ExpectVecEq(g_plugin.faceRecords[0].faceNormal, {0, 0, 1}, "reversed winding");
  EXPECT_EQ(g_plugin.faceRecords[1].valid, 0);
  ExpectVecEq(g_plugin.vertexNormals[4], kZero);

  // A current object that does not exist leaves nothing behind.
  document_.currentObject = 9;
  ASSERT_TRUE(GatherFaceRecords());
  ExpectEmptyState();
}

// Fake host answers for what the stand-in cannot be made to say.
int fakeFaceCount = 0;
int fakeVertexCount = 0;
int fakePointCount = 0;
int MQAPI FakeGetFaceCount(MQObject) { return fakeFaceCount; }
int MQAPI FakeGetVertexCount(MQObject) { return fakeVertexCount; }
int MQAPI FakeGetFacePointCount(MQObject, int face) { return face == 0 ? fakePointCount : 3; }

TEST_F(GatherTest, ImpossibleCountsLeaveNoRecords) {
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  AddIndexedFace({0, 1, 2});
  const int bad[][2] = {{-1, 3}, {1, -1}, {INT_MIN, INT_MIN}, {INT_MAX, 3}, {1, INT_MAX}};
  for (const auto& counts : bad) {
    // A good gathering first, so that the failing one has arrays to release.
    BindStandInHost(document_);
    ASSERT_TRUE(GatherFaceRecords());
    ASSERT_EQ(g_plugin.faceCount, 1);
    fakeFaceCount = counts[0];
    fakeVertexCount = counts[1];
    g_plugin.host.MQObj_GetFaceCount = FakeGetFaceCount;
    g_plugin.host.MQObj_GetVertexCount = FakeGetVertexCount;
    host::ClearCallLog();
    ASSERT_TRUE(GatherFaceRecords());
    ExpectEmptyState();
    EXPECT_EQ(host::CallCount("MQObj_GetFacePointCount"), 0);
  }
}

TEST_F(GatherTest, AbsurdPointCountMakesAnInvalidRecord) {
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  AddIndexedFace({0, 1, 2});
  AddIndexedFace({0, 1, 2});
  for (int points : {kMaxFacePoints + 1, INT_MAX}) {
    fakePointCount = points;
    g_plugin.host.MQObj_GetFacePointCount = FakeGetFacePointCount;
    host::ClearCallLog();
    ASSERT_TRUE(GatherFaceRecords());
    ASSERT_EQ(g_plugin.faceCount, 2);
    EXPECT_EQ(g_plugin.faceRecords[0].pointCount, points);
    EXPECT_EQ(g_plugin.faceRecords[0].valid, 0);
    EXPECT_EQ(g_plugin.faceRecords[1].valid, 1);
    // Only face 1's arrays were asked for.
    EXPECT_EQ(host::CallCount("MQObj_GetFacePointArray"), 1);
    for (int v = 0; v < 3; ++v) ExpectVecEq(g_plugin.vertexNormals[v], {0, 0, -1});
  }
}

TEST_F(GatherTest, UnboundHostGathersNothing) {
  object_->vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  AddIndexedFace({0, 1, 2});
  ASSERT_TRUE(GatherFaceRecords());
  g_plugin.host = HostApi{};
  ASSERT_TRUE(GatherFaceRecords());
  ExpectEmptyState();
}

}  // namespace
