// The hierarchy's answer against the plain scan, bit for bit, on rays chosen
// where rounding decides: through shared vertices and along edges, from
// origins on the surface, grazing, at the determinant threshold, near the
// 9999.9 limit, with zero and non-unit directions, against degenerate, huge
// and non-finite triangles. The scan (NearestHitDistanceLinear) is the
// reference; every ray is compared with FloatBits, so a lost hit, a wrong
// nearer hit or a zero of the wrong sign all count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "document.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"
#include "test_support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

struct Ray {
  Vec3 origin, direction;
};

// Ray counts are multiplied by TAMSINK_BVH_TEST_SCALE (default 1), for long
// soak runs of an optimised build.
int Rays(int count) {
  static const int scale = [] {
    const char* text = std::getenv("TAMSINK_BVH_TEST_SCALE");
    const int value = text != nullptr ? std::atoi(text) : 1;
    return value >= 1 ? value : 1;
  }();
  return count * scale;
}

Vec3 V(double x, double y, double z) { return Vec3{float(x), float(y), float(z)}; }

Vec3 Scaled(const Vec3& d, double length) {
  const double n = std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
  if (!(n > 0.0)) return d;
  return V(d.x / n * length, d.y / n * length, d.z / n * length);
}

// The triangle p, q, r with its corners ordered so that the query hits it
// from the side `up` points to: a triangle (a, b, c) is hit by rays coming
// from the side (c - a) x (b - a) points to (corners seen clockwise).
OccluderTriangle Facing(const Vec3& p, const Vec3& q, const Vec3& r, const Vec3& up) {
  const double ux = double(q.x) - p.x, uy = double(q.y) - p.y, uz = double(q.z) - p.z;
  const double vx = double(r.x) - p.x, vy = double(r.y) - p.y, vz = double(r.z) - p.z;
  const double nx = vy * uz - vz * uy, ny = vz * ux - vx * uz, nz = vx * uy - vy * ux;
  if (nx * up.x + ny * up.y + nz * up.z >= 0) return OccluderTriangle{0, 0, {p, q, r}};
  return OccluderTriangle{0, 0, {p, r, q}};
}

class Rng {
 public:
  explicit Rng(uint32_t seed) : engine_(seed) {}
  double Uniform(double lo = 0.0, double hi = 1.0) {
    return std::uniform_real_distribution<double>(lo, hi)(engine_);
  }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  Vec3 Unit() {
    const double z = Uniform(-1, 1), a = Uniform(0, 2 * kPi), s = std::sqrt(1 - z * z);
    return V(s * std::cos(a), s * std::sin(a), z);
  }
  // Direction lengths from 1e-3 to 1e3, mostly near 1 as the bake's.
  double Length() {
    static const double lengths[] = {1.0, 1.0, 1.0, 1.0, 0.5, 2.0, 1e-3, 0.01, 0.1, 10.0, 100.0, 1e3};
    return lengths[Int(0, 11)];
  }

 private:
  std::mt19937 engine_;
};

// A point of triangle t from float barycentric weights, rounded to float: on
// the triangle or within rounding of it.
Vec3 PointOn(const OccluderTriangle& t, double b, double c) {
  const Vec3* k = t.corners;
  const double a = 1 - b - c;
  return V(a * k[0].x + b * k[1].x + c * k[2].x, a * k[0].y + b * k[1].y + c * k[2].y,
           a * k[0].z + b * k[1].z + c * k[2].z);
}

// The unit normal of the side the triangle is hit from.
Vec3 FrontNormal(const OccluderTriangle& t) {
  const Vec3* k = t.corners;
  const double ux = double(k[1].x) - k[0].x, uy = double(k[1].y) - k[0].y, uz = double(k[1].z) - k[0].z;
  const double vx = double(k[2].x) - k[0].x, vy = double(k[2].y) - k[0].y, vz = double(k[2].z) - k[0].z;
  return Scaled(V(vy * uz - vz * uy, vz * ux - vx * uz, vx * uy - vy * ux), 1.0);
}

// A random direction on the side of the unit normal n.
Vec3 IntoHemisphere(const Vec3& n, Rng& rng) {
  const Vec3 d = rng.Unit();
  if (double(d.x) * n.x + double(d.y) * n.y + double(d.z) * n.z < 0) return V(-d.x, -d.y, -d.z);
  return d;
}

// Ray i of those the shadow and occlusion bakes cast from a surface point p
// with front normal n: every third along the normal from p itself, the
// others in random directions of its hemisphere from one unit above.
Ray SurfaceRay(const Vec3& p, const Vec3& n, int i, Rng& rng) {
  const Vec3 d = IntoHemisphere(n, rng);
  return i % 3 == 0 ? Ray{p, n} : Ray{V(p.x + n.x, p.y + n.y, p.z + n.z), d};
}

// Rays aimed from `origin` at `target` (as float arithmetic gets them).
Ray Aim(const Vec3& origin, const Vec3& target, double length) {
  return Ray{origin, Scaled(V(double(target.x) - origin.x, double(target.y) - origin.y,
                              double(target.z) - origin.z),
                            length)};
}

struct Tally {
  int64_t rays = 0;
  int64_t hits = 0;          // non-zero answers
  int64_t negativeZeros = 0;
  int64_t mismatches = 0;
};

// Every test runs with each walk: eight lanes (where the processor has
// them) and four.
class BvhAgainstScan : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    SetOccluderWalkFourLanesForTesting(GetParam() == 4);
    if (OccluderWalkLanes() != GetParam()) GTEST_SKIP() << "no eight-lane walk on this machine";
  }
  void TearDown() override {
    SetOccluderWalkFourLanesForTesting(false);
    ReleaseOccluderBvh();
    g_plugin.occluders = nullptr;
    g_plugin.occluderCount = 0;
    SetOccluderBvhMarginsForTesting(true);
    SetOccluderQueryMode(OccluderQueryMode::kHierarchy);
  }

  void Install(std::vector<OccluderTriangle> triangles) {
    ReleaseOccluderBvh();
    triangles_ = std::move(triangles);
    g_plugin.occluders = triangles_.empty() ? nullptr : triangles_.data();
    g_plugin.occluderCount = static_cast<int32_t>(triangles_.size());
    BuildOccluderBvh();
    if (!triangles_.empty()) {
      ASSERT_TRUE(DescribeOccluderBvh().usable);
    }
  }

  // Counts the rays whose answers differ; each is a test failure unless
  // `report` is false.
  // Each ray is asked three ways: alone (NearestHitDistance), and in
  // batches (NearestHitsWithin, walked several at a time) without a limit
  // and with a limit of 2, which must keep exactly the scan's answers below
  // it.
  Tally Compare(const std::vector<Ray>& rays, const std::string& what, bool report = true) {
    Tally tally;
    std::vector<Vec3> origins, directions;
    for (const Ray& ray : rays) {
      origins.push_back(ray.origin);
      directions.push_back(ray.direction);
    }
    std::vector<float> unlimited(rays.size()), limited(rays.size());
    const int count = static_cast<int>(rays.size());
    // Batches of 13, so that walks start and end at different times.
    for (int start = 0; start < count; start += 13) {
      const int n = count - start < 13 ? count - start : 13;
      NearestHitsWithin(origins.data() + start, directions.data() + start, n, 1e30f,
                        unlimited.data() + start);
      NearestHitsWithin(origins.data() + start, directions.data() + start, n, 2.0f,
                        limited.data() + start);
    }
    for (size_t i = 0; i < rays.size(); ++i) {
      const Ray& ray = rays[i];
      const float fast = NearestHitDistance(ray.origin, ray.direction);
      const float plain = NearestHitDistanceLinear(ray.origin, ray.direction);
      const float plainBelow2 = plain < 2.0f ? plain : 0.0f;
      ++tally.rays;
      if (plain != 0.0f) ++tally.hits;
      if (FloatBits(plain) == 0x80000000u) ++tally.negativeZeros;
      const char* way = FloatBits(fast) != FloatBits(plain)             ? "alone"
                        : FloatBits(unlimited[i]) != FloatBits(plain)     ? "batch"
                        : FloatBits(limited[i]) != FloatBits(plainBelow2) ? "batch below 2"
                                                                          : nullptr;
      if (way != nullptr) {
        if (report && tally.mismatches < 5)
          ADD_FAILURE() << what << " (" << way << "): origin (" << ray.origin.x << ", "
                        << ray.origin.y << ", " << ray.origin.z << ") direction ("
                        << ray.direction.x << ", " << ray.direction.y << ", " << ray.direction.z
                        << "): hierarchy " << fast << " / " << unlimited[i] << " / "
                        << limited[i] << ", scan " << plain << " (0x" << std::hex
                        << FloatBits(plain) << std::dec << ")";
        ++tally.mismatches;
      }
    }
    return tally;
  }

  std::vector<OccluderTriangle> triangles_;
};

// ---------------------------------------------------------------------------
// Scenes.

// A height field of n x n quads of side 0.5 around the origin, facing +z,
// with heights jittered by up to `jitter` (0 gives the plane z = 0, every
// coordinate a multiple of 0.5). Each quad is split as the occluder set
// splits a four-point face.
std::vector<OccluderTriangle> Grid(int n, double jitter, Rng& rng, std::vector<Vec3>* vertices) {
  std::vector<Vec3> p;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i)
      p.push_back(V((i - n / 2) * 0.5, (j - n / 2) * 0.5, jitter * rng.Uniform(-1, 1)));
  std::vector<OccluderTriangle> t;
  auto at = [&](int i, int j) { return p[size_t(j) * (n + 1) + i]; };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      // Corners seen clockwise from +z: p0 p1 p2 p3 = (i,j) (i,j+1) (i+1,j+1) (i+1,j).
      const Vec3 p0 = at(i, j), p1 = at(i, j + 1), p2 = at(i + 1, j + 1), p3 = at(i + 1, j);
      t.push_back(OccluderTriangle{0, 0, {p1, p2, p3}});
      t.push_back(OccluderTriangle{0, 0, {p1, p3, p0}});
    }
  if (vertices != nullptr) *vertices = p;
  return t;
}

// A latitude-longitude sphere; `outward` chooses which side is the front.
void AddSphere(std::vector<OccluderTriangle>& t, int rings, double radius, const Vec3& centre,
               bool outward) {
  const int segments = 2 * rings;
  auto at = [&](int r, int s) {
    const double theta = kPi * r / rings, phi = 2 * kPi * s / segments;
    return V(centre.x + radius * std::sin(theta) * std::cos(phi),
             centre.y + radius * std::cos(theta), centre.z + radius * std::sin(theta) * std::sin(phi));
  };
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < segments; ++s) {
      const Vec3 p0 = at(r, s), p1 = at(r, s + 1), p2 = at(r + 1, s + 1), p3 = at(r + 1, s);
      if (outward) {
        t.push_back(OccluderTriangle{0, 0, {p1, p2, p3}});
        t.push_back(OccluderTriangle{0, 0, {p1, p3, p0}});
      } else {
        t.push_back(OccluderTriangle{0, 0, {p3, p2, p1}});
        t.push_back(OccluderTriangle{0, 0, {p0, p3, p1}});
      }
    }
}

std::vector<OccluderTriangle> Soup(int count, double scale, double size, Rng& rng) {
  std::vector<OccluderTriangle> t;
  for (int i = 0; i < count; ++i) {
    const double cx = rng.Uniform(-scale, scale), cy = rng.Uniform(-scale, scale),
                 cz = rng.Uniform(-scale, scale);
    Vec3 c[3];
    for (Vec3& k : c)
      k = V(cx + size * rng.Uniform(-1, 1), cy + size * rng.Uniform(-1, 1),
            cz + size * rng.Uniform(-1, 1));
    t.push_back(OccluderTriangle{0, i, {c[0], c[1], c[2]}});
  }
  return t;
}

// Rays at the points that matter for a mesh: its vertices, points on its
// edges and inside its triangles, aimed from random origins in `box`, from
// origins on the surface, and grazing from far away in the plane z = 0.
std::vector<Ray> MeshRays(const std::vector<OccluderTriangle>& mesh, int count, double box,
                          Rng& rng) {
  std::vector<Ray> rays;
  for (int i = 0; i < count; ++i) {
    const OccluderTriangle& t = mesh[size_t(rng.Int(0, int(mesh.size()) - 1))];
    Vec3 target;
    switch (rng.Int(0, 3)) {
      case 0: target = t.corners[rng.Int(0, 2)]; break;              // a shared vertex
      case 1: {                                                      // an edge point
        const int k = rng.Int(0, 2);
        const double w = rng.Int(0, 1) ? 0.5 : rng.Uniform();
        target = PointOn(t, k == 0 ? w : k == 1 ? 1 - w : 0, k == 0 ? 0 : k == 1 ? w : 1 - w);
        break;
      }
      default: {
        const double b = rng.Uniform(), c = rng.Uniform() * (1 - b);
        target = PointOn(t, b, c);
      }
    }
    const double length = rng.Length();
    switch (rng.Int(0, 5)) {
      case 0:
      case 1:  // from anywhere around
        rays.push_back(Aim(V(rng.Uniform(-box, box), rng.Uniform(-box, box), rng.Uniform(-box, box)),
                           target, length));
        break;
      case 2: {  // grazing, from far off nearly in the plane
        const double a = rng.Uniform(0, 2 * kPi), r = box * std::pow(10.0, rng.Uniform(0, 2.5));
        const double h = std::pow(10.0, rng.Uniform(-5, 0)) * (rng.Int(0, 1) ? 1 : -1);
        rays.push_back(Aim(V(r * std::cos(a), r * std::sin(a), h), target, length));
        break;
      }
      case 3: {  // from the target itself (an origin on the surface), any direction
        rays.push_back(Ray{target, Scaled(rng.Unit(), length)});
        break;
      }
      case 4: {  // from the target along +-normal, or nearly along the surface
        const Vec3 n = FrontNormal(t);
        const double tilt = std::pow(10.0, rng.Uniform(-6, 0));
        const Vec3 u = rng.Unit();
        const double sign = rng.Int(0, 1) ? 1 : -1;
        rays.push_back(Ray{target, Scaled(V(sign * n.x * tilt + u.x, sign * n.y * tilt + u.y,
                                            sign * n.z * tilt + u.z),
                                          length)});
        rays.push_back(Ray{target, Scaled(V(sign * n.x, sign * n.y, sign * n.z), length)});
        break;
      }
      default: {  // along an edge line, starting before it
        const int k = rng.Int(0, 2);
        const Vec3 a = t.corners[k], b = t.corners[(k + 1) % 3];
        const double back = rng.Uniform(0, 3);
        const Vec3 o = V(a.x - back * (double(b.x) - a.x), a.y - back * (double(b.y) - a.y),
                         a.z - back * (double(b.z) - a.z));
        rays.push_back(Aim(o, b, length));
      }
    }
  }
  return rays;
}

// ---------------------------------------------------------------------------

TEST_P(BvhAgainstScan, JitteredGridAtVerticesEdgesAndGrazing) {
  Rng rng(1);
  std::vector<Vec3> vertices;
  Install(Grid(10, 0.05, rng, &vertices));
  const Tally t = Compare(MeshRays(triangles_, Rays(220000), 4.0, rng), "jittered grid");
  EXPECT_EQ(t.mismatches, 0);
  EXPECT_GT(t.hits, t.rays / 5);  // the scene is hit often, so hits are compared
}

TEST_P(BvhAgainstScan, FlatGridWithAxisParallelRaysOnItsLines) {
  // Every coordinate of the grid is a multiple of 0.5, so origins on those
  // values put the ray exactly in the planes of box faces and edges, and
  // directions with zero components make the slab test divide by zero.
  Rng rng(2);
  Install(Grid(10, 0.0, rng, nullptr));
  std::vector<Ray> rays;
  const float zs[] = {-3.0f, -0.5f, 0.0f, -0.0f, 0.5f, 3.0f};
  const float dirs[][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {0, -1, 0}, {1, 0, 1},
                           {0, -1, 1}, {-1, 0, -1}, {1, 1, 1}, {1, -1, 1}, {-0.0f, 0, 1}};
  for (int j = -6; j <= 6; ++j)
    for (int i = -6; i <= 6; ++i)
      for (const float z : zs)
        for (const auto& d : dirs)
          for (const double length : {1.0, 0.001, 1000.0, 3.0}) {
            const Vec3 o = V(i * 0.25, j * 0.25, z);
            rays.push_back(Ray{o, Scaled(V(d[0], d[1], d[2]), length)});
          }
  // Diagonal rays through vertices exactly: O = X - k D with dyadic values.
  for (int j = -5; j <= 5; ++j)
    for (int i = -5; i <= 5; ++i)
      for (const auto& d : {V(0.25, 0.5, 1), V(-0.5, 0.25, 1), V(0.5, 0.5, 1), V(1, 1, -1)})
        for (const double k : {1.0, 4.0, 16.0}) {
          const Vec3 x = V(i * 0.5, j * 0.5, 0);
          rays.push_back(Ray{V(x.x - k * d.x, x.y - k * d.y, x.z - k * d.z), d});
        }
  const Tally t = Compare(rays, "flat grid");
  EXPECT_EQ(t.mismatches, 0);
  EXPECT_GT(t.hits, 1000);
}

TEST_P(BvhAgainstScan, ClosedSpheresWithRaysAsTheBakeCastsThem) {
  // A sphere seen from outside inside a larger sphere seen from inside, over
  // a ground plane: rays from the surface along the normal, and from one
  // unit off it into the outer hemisphere, as shadow and occlusion rays go.
  Rng rng(3);
  std::vector<OccluderTriangle> t;
  AddSphere(t, 8, 1.0, V(0, 0, 0), true);
  AddSphere(t, 6, 4.0, V(0.5, 0.25, 0), false);
  t.push_back(Facing(V(-3, -1.5, -3), V(3, -1.5, -3), V(3, -1.5, 3), V(0, 1, 0)));
  t.push_back(Facing(V(-3, -1.5, -3), V(3, -1.5, 3), V(-3, -1.5, 3), V(0, 1, 0)));
  Install(t);
  std::vector<Ray> rays;
  for (int i = 0; i < Rays(150000); ++i) {
    const OccluderTriangle& tri = triangles_[size_t(rng.Int(0, int(triangles_.size()) - 1))];
    const double b = rng.Uniform(), c = rng.Uniform() * (1 - b);
    const Vec3 p = PointOn(tri, b, c);
    const Vec3 n = FrontNormal(tri);
    switch (i % 4) {
      case 0: rays.push_back(Ray{p, n}); break;
      case 1: rays.push_back(Ray{p, V(-n.x, -n.y, -n.z)}); break;
      default: {
        const Vec3 d = IntoHemisphere(n, rng);
        const double off = i % 4 == 2 ? 1.0 : 1e-3;
        rays.push_back(Ray{V(p.x + off * n.x, p.y + off * n.y, p.z + off * n.z), d});
      }
    }
  }
  // And from the vertices themselves, shared by up to six triangles.
  for (const OccluderTriangle& tri : triangles_)
    for (const Vec3& v : tri.corners) rays.push_back(Ray{v, Scaled(rng.Unit(), rng.Length())});
  const Tally tally = Compare(rays, "spheres");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, tally.rays / 4);
}

TEST_P(BvhAgainstScan, LargerSphereOverGroundWithBakeRays) {
  // A deeper tree: a sphere of 6,400 triangles on a ground quad, rays from
  // the ground and the sphere as the shadow and occlusion bakes cast them.
  Rng rng(12);
  std::vector<OccluderTriangle> t;
  AddSphere(t, 40, 100.0, V(0, 120, 0), true);
  t.push_back(Facing(V(-500, 0, -500), V(500, 0, -500), V(500, 0, 500), V(0, 1, 0)));
  t.push_back(Facing(V(-500, 0, -500), V(500, 0, 500), V(-500, 0, 500), V(0, 1, 0)));
  Install(t);
  // Eight-way nodes over leaves of a few triangles: at least log8(6400 / 8)
  // inner levels, and the leaves' level.
  EXPECT_GT(DescribeOccluderBvh().depth, 4);
  std::vector<Ray> rays;
  for (int i = 0; i < Rays(6000); ++i) {
    const OccluderTriangle& tri = triangles_[size_t(rng.Int(0, int(triangles_.size()) - 1))];
    Vec3 p = PointOn(tri, rng.Uniform(0, 0.5), rng.Uniform(0, 0.5));
    Vec3 n = FrontNormal(tri);
    if (i % 2) {  // the ground under and around the sphere
      p = V(rng.Uniform(-150, 150), 0, rng.Uniform(-150, 150));
      n = V(0, 1, 0);
    }
    rays.push_back(SurfaceRay(p, n, i, rng));
  }
  const Tally tally = Compare(rays, "larger sphere");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, tally.rays / 10);
}

TEST_P(BvhAgainstScan, BuildingOnSeveralThreadsGivesTheSameHierarchy) {
  // Large enough that two and four threads each get subtrees of their own:
  // a sphere of 80,656 triangles over a ground quad, with a soup beside it.
  Rng rng(14);
  std::vector<OccluderTriangle> t;
  AddSphere(t, 142, 100.0, V(0, 120, 0), true);
  for (const OccluderTriangle& s : Soup(20000, 60.0, 4.0, rng)) {
    OccluderTriangle moved = s;
    for (Vec3& c : moved.corners) c.x += 300.0f;
    t.push_back(moved);
  }
  t.push_back(Facing(V(-500, 0, -500), V(500, 0, -500), V(500, 0, 500), V(0, 1, 0)));
  t.push_back(Facing(V(-500, 0, -500), V(500, 0, 500), V(-500, 0, 500), V(0, 1, 0)));
  Install(t);
  const OccluderBvhInfo single = DescribeOccluderBvh();
  const uint64_t singleFingerprint = OccluderBvhFingerprint();
  ASSERT_GT(single.boxedTriangles, 100000);
  for (const int threads : {2, 3, 4, 8}) {
    BuildOccluderBvh(threads);
    const OccluderBvhInfo info = DescribeOccluderBvh();
    EXPECT_TRUE(info.usable);
    EXPECT_EQ(info.nodes, single.nodes) << threads;
    EXPECT_EQ(info.leaves, single.leaves) << threads;
    EXPECT_EQ(info.depth, single.depth) << threads;
    EXPECT_EQ(OccluderBvhFingerprint(), singleFingerprint) << threads << " threads";
  }
  // The rays still get the scan's answers from the tree the threads built.
  std::vector<Ray> rays;
  for (int i = 0; i < Rays(400); ++i) {
    const OccluderTriangle& tri = triangles_[size_t(rng.Int(0, int(triangles_.size()) - 1))];
    rays.push_back(SurfaceRay(PointOn(tri, rng.Uniform(0, 0.5), rng.Uniform(0, 0.5)),
                              FrontNormal(tri), i, rng));
  }
  const Tally tally = Compare(rays, "built on 8 threads");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, tally.rays / 20);
  // The fingerprint sees a change of a single corner.
  triangles_[77].corners[1].y += 0.5f;
  BuildOccluderBvh(2);
  EXPECT_NE(OccluderBvhFingerprint(), singleFingerprint);
}

TEST_P(BvhAgainstScan, ConcurrentQueriesAgree) {
  // The bake casts rays from several threads at once; the query only reads.
  Rng rng(13);
  Install(Soup(300, 5.0, 1.5, rng));
  std::vector<Ray> rays;
  for (int i = 0; i < Rays(20000); ++i)
    rays.push_back(Ray{V(rng.Uniform(-6, 6), rng.Uniform(-6, 6), rng.Uniform(-6, 6)), rng.Unit()});
  std::vector<float> plain(rays.size()), fast[2];
  for (size_t i = 0; i < rays.size(); ++i)
    plain[i] = NearestHitDistanceLinear(rays[i].origin, rays[i].direction);
  std::thread workers[2];
  for (int w = 0; w < 2; ++w) {
    fast[w].resize(rays.size());
    workers[w] = std::thread([&, w] {
      for (size_t i = 0; i < rays.size(); ++i)
        fast[w][i] = NearestHitDistance(rays[i].origin, rays[i].direction);
    });
  }
  for (std::thread& w : workers) w.join();
  int64_t mismatches = 0, hits = 0;
  for (size_t i = 0; i < rays.size(); ++i) {
    hits += plain[i] != 0.0f;
    for (int w = 0; w < 2; ++w) mismatches += FloatBits(fast[w][i]) != FloatBits(plain[i]);
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(hits, int64_t(rays.size()) / 4);
}

TEST_P(BvhAgainstScan, TinyTrianglesAtTheDeterminantThreshold) {
  // Right triangles of legs L facing the ray have det = |D| L^2 (up to
  // rounding), so legs around sqrt(0.001 / |D|) sit on the threshold.
  Rng rng(4);
  std::vector<OccluderTriangle> t;
  std::vector<Ray> rays;
  const double factors[] = {1 - 1e-3, 1 - 1e-5, 1 - 1e-7, 1, 1 + 1e-7, 1 + 1e-5, 1 + 1e-3, 2, 0.5};
  for (int i = 0; i < 300; ++i) {
    const double length = i % 3 == 0 ? 1.0 : i % 3 == 1 ? 0.5 : 4.0;
    const double leg = std::sqrt(0.001 / length) * factors[i % 9];
    const Vec3 n = rng.Unit();
    // Two legs perpendicular to n.
    Vec3 a = rng.Unit();
    const double an = double(a.x) * n.x + double(a.y) * n.y + double(a.z) * n.z;
    a = Scaled(V(a.x - an * n.x, a.y - an * n.y, a.z - an * n.z), 1.0);
    const Vec3 b = V(double(n.y) * a.z - double(n.z) * a.y, double(n.z) * a.x - double(n.x) * a.z,
                     double(n.x) * a.y - double(n.y) * a.x);
    const Vec3 c = V(rng.Uniform(-2, 2), rng.Uniform(-2, 2), rng.Uniform(-2, 2));
    const Vec3 p = c, q = V(c.x + leg * a.x, c.y + leg * a.y, c.z + leg * a.z),
               r = V(c.x + leg * b.x, c.y + leg * b.y, c.z + leg * b.z);
    t.push_back(Facing(p, q, r, n));
    for (int k = 0; k < Rays(200); ++k) {
      const double w1 = rng.Uniform(0, 0.5), w2 = rng.Uniform(0, 0.5);
      const Vec3 x = V(p.x + w1 * (double(q.x) - p.x) + w2 * (double(r.x) - p.x),
                       p.y + w1 * (double(q.y) - p.y) + w2 * (double(r.y) - p.y),
                       p.z + w1 * (double(q.z) - p.z) + w2 * (double(r.z) - p.z));
      const double back = rng.Uniform(0.1, 5);
      const double tilt = k % 2 ? 0.0 : 0.2;
      const Vec3 wobble = rng.Unit();
      const Vec3 dir = Scaled(V(-n.x + tilt * wobble.x, -n.y + tilt * wobble.y, -n.z + tilt * wobble.z),
                              length);
      rays.push_back(Ray{V(x.x - back * dir.x, x.y - back * dir.y, x.z - back * dir.z), dir});
    }
  }
  Install(t);
  const Tally tally = Compare(rays, "threshold");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, 1000);
  EXPECT_LT(tally.hits, tally.rays - 1000);  // and many misses on the threshold
}

TEST_P(BvhAgainstScan, HitsJustBelowAndAbove9999_9) {
  // Small triangles stacked around z = 9999.9 (the float 9999.900390625,
  // whose neighbours are 1/1024 apart) and rays up from near z = 0, so that
  // the nearest accepted hit and the limit lie within a few ulps.
  Rng rng(5);
  std::vector<OccluderTriangle> t;
  const float limit = 9999.9f;
  for (int k = -40; k <= 40; ++k) {
    float z = limit;
    for (int s = 0; s < std::abs(k); ++s) z = std::nextafter(z, k < 0 ? 0.0f : kInf);
    const double x = rng.Uniform(-1, 1), y = rng.Uniform(-1, 1);
    t.push_back(Facing(V(x, y, z), V(x + 0.5, y, z), V(x, y + 0.5, z), V(0, 0, -1)));
  }
  Install(t);
  std::vector<Ray> rays;
  for (int i = 0; i < Rays(80000); ++i) {
    const OccluderTriangle& tri = triangles_[size_t(rng.Int(0, int(triangles_.size()) - 1))];
    const Vec3 x = PointOn(tri, rng.Uniform(0, 0.5), rng.Uniform(0, 0.5));
    const float z0 = i % 3 == 0 ? 0.0f : float(rng.Uniform(-0.01, 0.01));
    const double length = i % 5 == 0 ? 2.0 : i % 5 == 1 ? 0.5 : 1.0;
    Ray ray{V(x.x, x.y, z0), V(0, 0, length)};
    if (i % 4 == 3) ray = Aim(V(x.x + rng.Uniform(-1, 1), x.y + rng.Uniform(-1, 1), z0), x, length);
    rays.push_back(ray);
  }
  const Tally tally = Compare(rays, "9999.9");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, 1000);
  EXPECT_GT(tally.rays - tally.hits, 1000);
}

TEST_P(BvhAgainstScan, DegenerateHugeAndNonFiniteTrianglesAmongOrdinaryOnes) {
  Rng rng(6);
  std::vector<OccluderTriangle> t = Soup(300, 5.0, 1.0, rng);
  const Vec3 o{0, 0, 0};
  // Collinear, point, sliver.
  t.push_back(OccluderTriangle{0, 0, {V(0, 0, 0), V(1, 1, 1), V(2, 2, 2)}});
  t.push_back(OccluderTriangle{0, 0, {V(1, 2, 3), V(1, 2, 3), V(1, 2, 3)}});
  t.push_back(OccluderTriangle{0, 0, {V(-1, 0, 0), V(1, 1e-7, 0), V(1, 0, 1e-6)}});
  // Huge: beyond the proof's range (plain list) and inside it.
  for (const double big : {1e30, 3e38, 2e12, 1e12, 1e9, 1e6}) {
    t.push_back(Facing(V(-big, -big, 3), V(big, -big, 3), V(0, big, 3), V(0, 0, -1)));
    t.push_back(Facing(V(-big, 2, -big), V(big, 2, -big), V(0, 2, big), V(0, -1, 0)));
    t.push_back(Facing(V(big, big, big), V(-big, big, -big), V(big, -big, -big), rng.Unit()));
  }
  t.push_back(Facing(V(-1e30, 0.5, -1e30), V(1e30, 0.5, -1e30), V(0, 0.5, 1e30), V(0, 1, 0)));
  // Non-finite corners.
  for (const float bad : {kNaN, kInf, -kInf}) {
    t.push_back(OccluderTriangle{0, 0, {V(0, 0, 1), V(1, 0, 1), Vec3{bad, 1, 1}}});
    t.push_back(OccluderTriangle{0, 0, {Vec3{0, bad, -1}, V(0, 1, -1), V(1, 0, -1)}});
    t.push_back(OccluderTriangle{0, 0, {Vec3{bad, bad, bad}, V(0, 1, 2), V(1, 0, 2)}});
    t.push_back(OccluderTriangle{0, 0, {Vec3{bad, 0, 0}, Vec3{bad, 1, 0}, Vec3{bad, 0, 1}}});
  }
  Install(t);
  EXPECT_GT(DescribeOccluderBvh().plainTriangles, 10);
  EXPECT_EQ(DescribeOccluderBvh().skippedTriangles, 1);
  std::vector<Ray> rays;
  for (int i = 0; i < Rays(60000); ++i) {
    const Vec3 origin = V(rng.Uniform(-8, 8), rng.Uniform(-8, 8), rng.Uniform(-8, 8));
    rays.push_back(Ray{origin, Scaled(rng.Unit(), rng.Length())});
  }
  for (int i = 0; i < 2000; ++i) rays.push_back(Aim(o, t[size_t(rng.Int(0, 299))].corners[0], 1.0));
  const Tally tally = Compare(rays, "degenerate and huge");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, tally.rays / 4);
}

TEST_P(BvhAgainstScan, RandomSoupsAtManyScales) {
  for (const double scale : {1e-2, 1.0, 30.0, 1e3, 1e6}) {
    Rng rng(uint32_t(7 + scale));
    Install(Soup(200, scale, scale / 4, rng));
    std::vector<Ray> rays;
    for (int i = 0; i < Rays(40000); ++i) {
      const double spread = i % 2 ? 1.2 * scale : 5 * scale;
      rays.push_back(Ray{V(rng.Uniform(-spread, spread), rng.Uniform(-spread, spread),
                           rng.Uniform(-spread, spread)),
                         Scaled(rng.Unit(), rng.Length())});
    }
    const Tally tally = Compare(rays, "soup at scale " + std::to_string(scale));
    EXPECT_EQ(tally.mismatches, 0);
    // At 0.01 most triangles are below the determinant threshold.
    EXPECT_GT(tally.hits, 100) << scale;
  }
}

TEST_P(BvhAgainstScan, FarOriginsAndRaysOutsideTheBoundedRange) {
  // Origins far away (the error of O - V0 grows with the distance), and
  // origins and directions beyond 2^40 or not finite, which the scan answers.
  Rng rng(8);
  Install(Grid(8, 0.1, rng, nullptr));
  std::vector<Ray> rays;
  for (const double distance : {1e3, 1e5, 1e7, 1e9, 1e11, 3e12, 1e20}) {
    for (int i = 0; i < Rays(2000); ++i) {
      const OccluderTriangle& tri = triangles_[size_t(rng.Int(0, int(triangles_.size()) - 1))];
      const Vec3 x = PointOn(tri, rng.Uniform(0, 0.5), rng.Uniform(0, 0.5));
      Vec3 u = rng.Unit();
      if (u.z < 0) u.z = -u.z;
      rays.push_back(Aim(V(x.x + distance * u.x, x.y + distance * u.y, x.z + distance * u.z), x,
                         rng.Length()));
    }
  }
  for (const float bad : {kNaN, kInf, -kInf, 3e38f, 1e13f}) {
    rays.push_back(Ray{Vec3{bad, 0, 1}, V(0, 0, -1)});
    rays.push_back(Ray{V(0.1, 0.1, 1), Vec3{0, bad, -1}});
    rays.push_back(Ray{V(0.1, 0.1, 1), Vec3{0, 0, -bad}});
  }
  const Tally tally = Compare(rays, "far origins");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, 1000);
}

TEST_P(BvhAgainstScan, ZeroDirectionsAndTinyOrHugeDirections) {
  Rng rng(9);
  Install(Grid(6, 0.2, rng, nullptr));
  std::vector<Ray> rays;
  for (int i = 0; i < Rays(3000); ++i) {
    const Vec3 o = V(rng.Uniform(-2, 2), rng.Uniform(-2, 2), rng.Uniform(0.5, 3));
    rays.push_back(Ray{o, V(0, 0, 0)});
    rays.push_back(Ray{o, Vec3{-0.0f, 0.0f, -0.0f}});
    Vec3 d = rng.Unit();
    d.z = -std::fabs(d.z);
    for (const double length : {1e-30, 1e-9, 1e-3, 3e-2, 1e3, 1e9, 1e12})
      rays.push_back(Ray{o, Scaled(d, length)});
    rays.push_back(Ray{o, Vec3{d.x, 1e-40f, d.z}});  // a subnormal component
  }
  const Tally tally = Compare(rays, "directions");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, 1000);
}

TEST_P(BvhAgainstScan, OneTriangleAndNone) {
  Rng rng(10);
  Install({Facing(V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(0, 0, -1))});
  std::vector<Ray> rays;
  for (int i = 0; i < Rays(40000); ++i)
    rays.push_back(Aim(V(rng.Uniform(-2, 2), rng.Uniform(-2, 2), rng.Uniform(-3, 1)),
                       V(rng.Uniform(-0.2, 1.2), rng.Uniform(-0.2, 1.2), 0), rng.Length()));
  const Tally tally = Compare(rays, "one triangle");
  EXPECT_EQ(tally.mismatches, 0);
  EXPECT_GT(tally.hits, 1000);

  Install({});
  EXPECT_EQ(g_plugin.occluderBvh, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(FloatBits(NearestHitDistance(rays[size_t(i)].origin,
                                                                     rays[size_t(i)].direction)),
                                          0u);
}

TEST_P(BvhAgainstScan, ZerosTieByArrayOrderAsTheScanKeepsThem) {
  // The origin lies on both triangles (z = 0 planes facing -z), and the ray
  // goes down. Triangle A gives t = +0 and B gives t = -0 (found by a search
  // over small integer corners and asserted below). The scan keeps the first
  // zero it meets, so the answer's sign follows the array order.
  const Vec3 origin{0.25f, 0.125f, 0}, down{0, 0, -1};
  const OccluderTriangle a{0, 0, {V(-1, -1, 0), V(-1, 2, 0), V(2, -1, 0)}};
  const OccluderTriangle b{0, 0, {V(-2, -2, 0), V(-2, 0, 0), V(2, 1, 0)}};
  float ta = 1, tb = 1;
  ASSERT_TRUE(IntersectRayTriangle(origin, down, a.corners[2], a.corners[1], a.corners[0], &ta,
                                   nullptr, nullptr));
  ASSERT_TRUE(IntersectRayTriangle(origin, down, b.corners[2], b.corners[1], b.corners[0], &tb,
                                   nullptr, nullptr));
  ASSERT_EQ(FloatBits(ta), 0x00000000u);
  ASSERT_EQ(FloatBits(tb), 0x80000000u);
  // Padding with triangles far off so that the two sit in different leaves.
  Rng rng(11);
  std::vector<OccluderTriangle> far = Soup(200, 50.0, 1.0, rng);
  for (OccluderTriangle& t : far)
    for (Vec3& c : t.corners) c.x += 200;
  for (const bool aFirst : {true, false}) {
    std::vector<OccluderTriangle> scene = far;
    scene.insert(scene.begin() + 17, aFirst ? a : b);
    scene.push_back(aFirst ? b : a);
    Install(scene);
    EXPECT_EQ(FloatBits(NearestHitDistanceLinear(origin, down)), aFirst ? 0x0u : 0x80000000u);
    EXPECT_EQ(FloatBits(NearestHitDistance(origin, down)), aFirst ? 0x0u : 0x80000000u);
  }
}

TEST_P(BvhAgainstScan, WithoutMarginsTheHardRaysGoWrong) {
  // The same kinds of rays with the boxes tested bare: some answers must
  // differ, or the rays above would not be testing the margins at all.
  SetOccluderBvhMarginsForTesting(false);
  int64_t mismatches = 0;
  {
    Rng rng(1);
    Install(Grid(10, 0.05, rng, nullptr));
    mismatches += Compare(MeshRays(triangles_, 20000, 4.0, rng), "bare", false).mismatches;
  }
  EXPECT_GT(mismatches, 0);
}

TEST_P(BvhAgainstScan, BatchLimitsAndTheScanMode) {
  // Limits at and around the hits, zero, negative and not a number; the
  // same batch answered in the scan mode.
  Rng rng(21);
  Install(Grid(6, 0.2, rng, nullptr));
  std::vector<Ray> rays = MeshRays(triangles_, 3000, 3.0, rng);
  std::vector<Vec3> origins, directions;
  for (const Ray& ray : rays) {
    origins.push_back(ray.origin);
    directions.push_back(ray.direction);
  }
  const int n = static_cast<int>(rays.size());
  std::vector<float> plain(rays.size());
  for (int i = 0; i < n; ++i) plain[size_t(i)] = NearestHitDistanceLinear(origins[size_t(i)], directions[size_t(i)]);
  int64_t hits = 0;
  for (const float limit : {0.0f, -1.0f, kNaN, 1e-6f, 0.5f, 1.0f, 9999.9f, kInf}) {
    for (const OccluderQueryMode mode : {OccluderQueryMode::kHierarchy, OccluderQueryMode::kLinearScan}) {
      SetOccluderQueryMode(mode);
      std::vector<float> got(rays.size(), 123.0f);
      NearestHitsWithin(origins.data(), directions.data(), n, limit, got.data());
      for (int i = 0; i < n; ++i) {
        const float expected = plain[size_t(i)] < limit ? plain[size_t(i)] : 0.0f;
        ASSERT_EQ(FloatBits(got[size_t(i)]), FloatBits(expected))
            << "limit " << limit << " ray " << i << " mode " << int(mode);
        hits += got[size_t(i)] != 0.0f;
      }
    }
  }
  SetOccluderQueryMode(OccluderQueryMode::kHierarchy);
  EXPECT_GT(hits, 1000);
  // No rays: nothing is written.
  float untouched = 7.0f;
  NearestHitsWithin(origins.data(), directions.data(), 0, 1.0f, &untouched);
  EXPECT_EQ(untouched, 7.0f);
}

INSTANTIATE_TEST_SUITE_P(Walks, BvhAgainstScan, ::testing::Values(8, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 8 ? std::string("EightLanes")
                                                  : std::string("FourLanes");
                         });

}  // namespace
