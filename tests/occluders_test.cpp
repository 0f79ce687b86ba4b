#include "mesh/occluders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <vector>

#include "document.h"
#include "shell/plugin_state.h"
#include "test_support.h"

namespace {

// The triangle (0,0,0), (1,0,0), (0,1,0) whose face normal is (0, 0, -1):
// rays travelling up +z meet its front.
OccluderTriangle UnitTriangleAt(float z) {
  return OccluderTriangle{0, 0, {{0, 0, z}, {1, 0, z}, {0, 1, z}}};
}

// Installs triangles by hand, with the hierarchy over them, and runs every
// query in both modes: each expectation below holds for the scan and for the
// hierarchy alike.
class OccluderQuery : public ::testing::Test {
 protected:
  void Use(std::vector<OccluderTriangle> triangles) {
    ReleaseOccluderBvh();
    triangles_ = std::move(triangles);
    g_plugin.occluders = triangles_.empty() ? nullptr : triangles_.data();
    g_plugin.occluderCount = static_cast<int32_t>(triangles_.size());
    BuildOccluderBvh();
  }
  void TearDown() override {
    ReleaseOccluderBvh();
    g_plugin.occluders = nullptr;
    g_plugin.occluderCount = 0;
    SetOccluderQueryMode(OccluderQueryMode::kHierarchy);
  }
  // The answer of NearestHitDistance in both modes; a difference between
  // them fails the test.
  float Query(const Vec3& origin, const Vec3& direction) {
    SetOccluderQueryMode(OccluderQueryMode::kLinearScan);
    const float plain = NearestHitDistance(origin, direction);
    SetOccluderQueryMode(OccluderQueryMode::kHierarchy);
    const float fast = NearestHitDistance(origin, direction);
    EXPECT_EQ(FloatBits(fast), FloatBits(plain));
    EXPECT_EQ(FloatBits(NearestHitDistanceLinear(origin, direction)), FloatBits(plain));
    return fast;
  }
  std::vector<OccluderTriangle> triangles_;
};

TEST(IntersectRayTriangle, HitGivesParameterAndWeights) {
  // With V0 = c, V1 = b, V2 = a as the query passes them: e1 = (1,-1,0),
  // e2 = (0,-1,0), P = D x e2 = (1,0,0), det = 1; S = (0.2,-0.8,-1) so
  // u = 0.2, Q = S x e1 = (-1,-1,0.6), v = 0.6 and t = e2 . Q = 1.
  const OccluderTriangle tri = UnitTriangleAt(0);
  float t = -5, u = -5, v = -5;
  ASSERT_TRUE(IntersectRayTriangle(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, 1}, tri.corners[2],
                                   tri.corners[1], tri.corners[0], &t, &u, &v));
  EXPECT_EQ(t, 1.0f);
  EXPECT_EQ(u, 0.2f);
  EXPECT_EQ(v, 0.6f);
}

TEST(IntersectRayTriangle, OutputsWrittenOnlyOnAHitAndOnlyWhenAsked) {
  const OccluderTriangle tri = UnitTriangleAt(0);
  float t = -5, u = -5, v = -5;
  EXPECT_FALSE(IntersectRayTriangle(Vec3{0.2f, 0.2f, 1}, Vec3{0, 0, -1}, tri.corners[2],
                                    tri.corners[1], tri.corners[0], &t, &u, &v));
  EXPECT_EQ(t, -5.0f);
  EXPECT_EQ(u, -5.0f);
  EXPECT_EQ(v, -5.0f);
  EXPECT_TRUE(IntersectRayTriangle(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, 1}, tri.corners[2],
                                   tri.corners[1], tri.corners[0], nullptr, nullptr, nullptr));
}

TEST(IntersectRayTriangle, HitBehindTheOriginIsReported) {
  const OccluderTriangle tri = UnitTriangleAt(0);
  float t = 0;
  ASSERT_TRUE(IntersectRayTriangle(Vec3{0.2f, 0.2f, 1}, Vec3{0, 0, 1}, tri.corners[2],
                                   tri.corners[1], tri.corners[0], &t, nullptr, nullptr));
  EXPECT_EQ(t, -1.0f);
}

TEST_F(OccluderQuery, Cases) {
  struct Case {
    const char* name;
    std::vector<OccluderTriangle> triangles;
    Vec3 origin, direction;
    float expected;
  };
  const Case cases[] = {
      {"front hit at 1", {UnitTriangleAt(0)}, {0.2f, 0.2f, -1}, {0, 0, 1}, 1.0f},
      {"back side misses", {UnitTriangleAt(0)}, {0.2f, 0.2f, 1}, {0, 0, -1}, 0.0f},
      {"hit behind origin discarded", {UnitTriangleAt(0)}, {0.2f, 0.2f, 1}, {0, 0, 1}, 0.0f},
      {"direction length 2 halves t", {UnitTriangleAt(0)}, {0.2f, 0.2f, -1}, {0, 0, 2}, 0.5f},
      {"nearest of three stacked",
       {UnitTriangleAt(3), UnitTriangleAt(0.5f), UnitTriangleAt(2)}, {0.2f, 0.2f, -1}, {0, 0, 1},
       1.5f},
      {"outside the triangle", {UnitTriangleAt(0)}, {0.8f, 0.8f, -1}, {0, 0, 1}, 0.0f},
      {"origin on a facing triangle gives 0",
       {UnitTriangleAt(0), UnitTriangleAt(1)}, {0.2f, 0.2f, 0}, {0, 0, 1}, 0.0f},
      {"zero direction", {UnitTriangleAt(0)}, {0.2f, 0.2f, -1}, {0, 0, 0}, 0.0f},
      {"no triangles", {}, {0.2f, 0.2f, -1}, {0, 0, 1}, 0.0f},
      // 9999.9 is the float 9999.900390625; hits must lie strictly below it.
      {"hit at 9999.8 found", {UnitTriangleAt(9998.8f)}, {0.2f, 0.2f, -1}, {0, 0, 1},
       RoundToFloat(double(9998.8f) + 1.0)},
      {"hit at 9999.95 not found", {UnitTriangleAt(9998.95f)}, {0.2f, 0.2f, -1}, {0, 0, 1}, 0.0f},
      {"hit exactly at 9999.9 not found", {UnitTriangleAt(9999.9f)}, {0.2f, 0.2f, 0}, {0, 0, 1},
       0.0f},
  };
  for (const Case& c : cases) {
    Use(c.triangles);
    if (!c.triangles.empty()) {
      EXPECT_TRUE(DescribeOccluderBvh().usable) << c.name;
    }
    EXPECT_EQ(Query(c.origin, c.direction), c.expected) << c.name;
  }
}

TEST_F(OccluderQuery, DeterminantThresholdHidesSmallTriangles) {
  // det = |D| x twice the area: legs 0.02 give 0.0004, legs 0.05 give 0.0025.
  for (const float leg : {0.02f, 0.05f}) {
    Use({OccluderTriangle{0, 0, {{0, 0, 0}, {leg, 0, 0}, {0, leg, 0}}}});
    const float hit = Query(Vec3{0.005f, 0.005f, -1}, Vec3{0, 0, 1});
    if (leg < 0.03f)
      EXPECT_EQ(hit, 0.0f) << "legs " << leg;
    else  // t is e2.Q / det with det = 0.0025 rounded to float: 1 up to rounding
      EXPECT_NEAR(hit, 1.0f, 1e-6f) << "legs " << leg;
  }
}

TEST_F(OccluderQuery, DegenerateTriangleIsNeverHit) {
  Use({OccluderTriangle{0, 0, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}}});
  EXPECT_EQ(Query(Vec3{0.5f, 0, -1}, Vec3{0, 0, 1}), 0.0f);
}

TEST_F(OccluderQuery, NonFiniteInputMisses) {
  Use({UnitTriangleAt(0)});
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(Query(Vec3{nan, 0.2f, -1}, Vec3{0, 0, 1}), 0.0f);
  EXPECT_EQ(Query(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, inf}), 0.0f);
  // A triangle with a non-finite corner is never hit, and does not hide the
  // unit triangle behind it.
  Use({OccluderTriangle{0, 0, {{0, 0, 0.5f}, {nan, 0, 0.5f}, {0, 1, 0.5f}}},
       OccluderTriangle{0, 0, {{0, 0, 0.25f}, {inf, 0, 0.25f}, {0, 1, 0.25f}}}, UnitTriangleAt(2)});
  EXPECT_EQ(DescribeOccluderBvh().plainTriangles, 2);
  EXPECT_EQ(Query(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, 1}), 3.0f);
}

TEST_F(OccluderQuery, StaleHierarchyIsNotUsed) {
  // A hierarchy built over one array never answers for another: here the
  // array is replaced behind its back and the query follows the new one.
  Use({UnitTriangleAt(1)});
  std::vector<OccluderTriangle> other = {UnitTriangleAt(4)};
  g_plugin.occluders = other.data();
  EXPECT_FALSE(DescribeOccluderBvh().usable);
  EXPECT_EQ(NearestHitDistance(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, 1}), 5.0f);
  g_plugin.occluders = triangles_.data();
  g_plugin.occluderCount = 0;  // and a changed count
  EXPECT_FALSE(DescribeOccluderBvh().usable);
  EXPECT_EQ(NearestHitDistance(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, 1}), 0.0f);
}

TEST_F(OccluderQuery, ModeSwitch) {
  Use({UnitTriangleAt(0)});
  SetOccluderQueryMode(OccluderQueryMode::kLinearScan);
  EXPECT_EQ(GetOccluderQueryMode(), OccluderQueryMode::kLinearScan);
  EXPECT_EQ(NearestHitDistance(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, 1}), 1.0f);
  SetOccluderQueryMode(OccluderQueryMode::kHierarchy);
  EXPECT_EQ(GetOccluderQueryMode(), OccluderQueryMode::kHierarchy);
  EXPECT_EQ(NearestHitDistance(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, 1}), 1.0f);
}

// The environment variable is read once, on first use, so each case runs in
// a fresh process in which nothing has asked for the mode yet.
void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

TEST(OccluderQueryModeDeathTest, EnvironmentSelectsTheScanOnlyWithOne) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  struct Case {
    const char* value;
    int expectedMode;
  };
  for (const Case c : {Case{"1", 1}, Case{"0", 0}, Case{"", 0}, Case{"yes", 0}}) {
    EXPECT_EXIT(
        {
          SetEnvironment("TAMSINK_LINEAR_SCAN", c.value);
          const int first = static_cast<int>(GetOccluderQueryMode());
          SetEnvironment("TAMSINK_LINEAR_SCAN", c.expectedMode == 1 ? "0" : "1");
          const int later = static_cast<int>(GetOccluderQueryMode());  // not read again
          std::exit(first == later ? 10 + first : 99);
        },
        ::testing::ExitedWithCode(10 + c.expectedMode), "")
        << "TAMSINK_LINEAR_SCAN=" << c.value;
  }
}

class OccluderSet : public ::testing::Test {
 protected:
  void SetUp() override {
    BindStandInHost(document_);
    ReleaseOccluderSet();
  }
  void TearDown() override { ReleaseOccluderSet(); }
  host::Document document_;
};

bool SameCorners(const OccluderTriangle& t, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3* k = t.corners;
  auto eq = [](const Vec3& p, const Vec3& q) { return p.x == q.x && p.y == q.y && p.z == q.z; };
  return eq(k[0], a) && eq(k[1], b) && eq(k[2], c);
}

TEST_F(OccluderSet, FacesGiveTrianglesInDocumentOrder) {
  const Vec3 p0{0, 0, 0}, p1{1, 0, 0}, p2{1, 1, 0}, p3{0, 1, 0}, p4{0.5f, 2, 0};
  host::Object& first = host::AddObject(document_, "first");
  AddFace(first, {p0, p1, p2, p3});      // quad: two triangles split along p1-p3
  AddFace(first, {p0, p1});              // two points: nothing
  AddFace(first, {p0, p1, p2, p3, p4});  // five points: nothing
  host::Object& hidden = host::AddObject(document_, "hidden");
  hidden.visible = false;
  AddFace(hidden, {p0, p1, p2});
  host::Object& third = host::AddObject(document_, "third");
  AddFace(third, {p2, p3, p4});

  EXPECT_EQ(CountOccluderTriangles(), 3);
  ASSERT_TRUE(BuildOccluderSet());
  ASSERT_EQ(g_plugin.occluderCount, 3);
  const OccluderTriangle* t = g_plugin.occluders;
  EXPECT_TRUE(SameCorners(t[0], p1, p2, p3));
  EXPECT_TRUE(SameCorners(t[1], p1, p3, p0));
  EXPECT_TRUE(SameCorners(t[2], p2, p3, p4));
  EXPECT_EQ(t[0].objectIndex, 0);
  EXPECT_EQ(t[1].faceIndex, 0);
  EXPECT_EQ(t[2].objectIndex, 2);
  EXPECT_EQ(t[2].faceIndex, 0);
}

TEST_F(OccluderSet, QuadKeepsItsFrontSide) {
  // Corners seen clockwise from -z: the face normal is (0, 0, -1), so a ray
  // travelling up +z meets both halves from the front.
  host::Object& quad = host::AddObject(document_, "quad");
  AddFace(quad, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  ASSERT_TRUE(BuildOccluderSet());
  EXPECT_EQ(NearestHitDistance(Vec3{0.75f, 0.25f, -1}, Vec3{0, 0, 1}), 1.0f);
  EXPECT_EQ(NearestHitDistance(Vec3{0.25f, 0.75f, -1}, Vec3{0, 0, 1}), 1.0f);
  EXPECT_EQ(NearestHitDistance(Vec3{0.25f, 0.75f, 1}, Vec3{0, 0, -1}), 0.0f);
}

TEST_F(OccluderSet, NoTrianglesLeavesTheOldArrayAndAZeroCount) {
  host::Object& only = host::AddObject(document_, "only");
  AddFace(only, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  ASSERT_TRUE(BuildOccluderSet());
  only.visible = false;
  EXPECT_FALSE(BuildOccluderSet());
  EXPECT_EQ(g_plugin.occluderCount, 0);
  EXPECT_EQ(NearestHitDistance(Vec3{0.2f, 0.2f, -1}, Vec3{0, 0, 1}), 0.0f);
}

TEST_F(OccluderSet, EmptyDocument) {
  EXPECT_EQ(CountOccluderTriangles(), 0);
  EXPECT_FALSE(BuildOccluderSet());
  EXPECT_EQ(g_plugin.occluderCount, 0);
}

TEST_F(OccluderSet, HostCallsOnlyForFacesThatGiveTriangles) {
  host::Object& o = host::AddObject(document_, "o");
  AddFace(o, {{0, 0, 0}, {1, 0, 0}});
  AddFace(o, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  host::ClearCallLog();
  ASSERT_TRUE(BuildOccluderSet());
  EXPECT_EQ(host::CallCount("MQObj_GetFacePointArray"), 1);
  EXPECT_EQ(host::CallCount("MQObj_GetVertex"), 3);
}

}  // namespace

namespace {

TEST_F(OccluderSet, HierarchyFollowsEveryBuildAndRelease) {
  // Each build replaces the hierarchy (the old one is freed: the count of
  // live hierarchies stays at one), a build that yields nothing and a
  // release leave none.
  host::Object& o = host::AddObject(document_, "o");
  AddFace(o, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  const int32_t before = LiveOccluderBvhCount();
  ASSERT_TRUE(BuildOccluderSet());
  EXPECT_EQ(LiveOccluderBvhCount(), before + 1);
  const OccluderBvhInfo first = DescribeOccluderBvh();
  EXPECT_TRUE(first.usable);
  EXPECT_EQ(first.boxedTriangles, 2);
  ASSERT_TRUE(BuildOccluderSet());
  EXPECT_EQ(LiveOccluderBvhCount(), before + 1);
  EXPECT_TRUE(DescribeOccluderBvh().usable);
  EXPECT_EQ(NearestHitDistance(Vec3{0.75f, 0.25f, -1}, Vec3{0, 0, 1}), 1.0f);

  o.visible = false;
  EXPECT_FALSE(BuildOccluderSet());
  EXPECT_EQ(g_plugin.occluderBvh, nullptr);
  EXPECT_EQ(LiveOccluderBvhCount(), before);
  EXPECT_EQ(NearestHitDistance(Vec3{0.75f, 0.25f, -1}, Vec3{0, 0, 1}), 0.0f);

  o.visible = true;
  ASSERT_TRUE(BuildOccluderSet());
  EXPECT_EQ(LiveOccluderBvhCount(), before + 1);
  ReleaseOccluderSet();
  EXPECT_EQ(LiveOccluderBvhCount(), before);
  EXPECT_EQ(g_plugin.occluderBvh, nullptr);
  EXPECT_EQ(g_plugin.occluders, nullptr);
  EXPECT_EQ(g_plugin.occluderCount, 0);
  ReleaseOccluderSet();  // twice is harmless
  EXPECT_EQ(LiveOccluderBvhCount(), before);
}

TEST_F(OccluderSet, HierarchyMakesNoHostCalls) {
  // The same host calls in the same order as the plain build: the log of a
  // build equals that of counting plus walking, whatever the hierarchy does.
  host::Object& o = host::AddObject(document_, "o");
  AddFace(o, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  AddFace(o, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}});
  host::ClearCallLog();
  ASSERT_TRUE(BuildOccluderSet());
  // Count walk: object count, object, visible, face count, 2 point counts;
  // fill walk: the same plus 2 point arrays and 3 + 4 vertices.
  EXPECT_EQ(host::CallCount("MQDoc_GetObjectCount"), 2);
  EXPECT_EQ(host::CallCount("MQObj_GetFacePointCount"), 4);
  EXPECT_EQ(host::CallCount("MQObj_GetFacePointArray"), 2);
  EXPECT_EQ(host::CallCount("MQObj_GetVertex"), 7);
  EXPECT_EQ(g_plugin.occluderCount, 3);
}

}  // namespace
