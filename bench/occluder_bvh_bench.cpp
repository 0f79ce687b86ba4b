// The nearest-hit query from the hierarchy against the plain scan, on two
// kinds of scene of 1,000 to 1,000,000 triangles:
//  - "sphere": a latitude-longitude sphere of radius 100 standing on a
//    ground quad, with rays as the bake casts them: from 1 unit off the
//    surface (sphere or ground under it), along the normal and in random
//    directions of the outer hemisphere;
//  - "soup": random triangles scattered in a cube, rays from random points
//    in random directions (no coherence at all).
// Also the hierarchy's build time and its bytes per triangle.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "mesh/occluders.h"
#include "shell/plugin_state.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Ray {
  Vec3 origin, direction;
};

struct Scene {
  std::vector<OccluderTriangle> triangles;
  std::vector<Ray> rays;
};

Vec3 V(double x, double y, double z) { return Vec3{float(x), float(y), float(z)}; }

// A unit vector in the hemisphere around n (cosine-weighted).
Vec3 HemisphereDirection(const Vec3& n, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double a = 2 * kPi * unit(random), r = std::sqrt(unit(random));
  // An orthonormal frame around n.
  const double nx = n.x, ny = n.y, nz = n.z;
  double tx, ty, tz;
  if (std::fabs(nx) < 0.9) { tx = 0; ty = -nz; tz = ny; } else { tx = nz; ty = 0; tz = -nx; }
  const double tl = std::sqrt(tx * tx + ty * ty + tz * tz);
  tx /= tl; ty /= tl; tz /= tl;
  const double bx = ny * tz - nz * ty, by = nz * tx - nx * tz, bz = nx * ty - ny * tx;
  const double x = r * std::cos(a), y = r * std::sin(a), z = std::sqrt(std::max(0.0, 1 - r * r));
  return V(x * tx + y * bx + z * nx, x * ty + y * by + z * ny, x * tz + y * bz + z * nz);
}

Scene MakeSphereScene(int rings) {
  Scene scene;
  const int segments = 2 * rings;
  auto at = [&](int r, int s) {
    const double theta = kPi * r / rings, phi = 2 * kPi * s / segments;
    return V(100 * std::sin(theta) * std::cos(phi), 100 * std::cos(theta) + 120.0,
             100 * std::sin(theta) * std::sin(phi));
  };
  // Quads seen clockwise from outside, split as the occluder set splits them.
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < segments; ++s) {
      const Vec3 p0 = at(r, s), p1 = at(r, s + 1), p2 = at(r + 1, s + 1), p3 = at(r + 1, s);
      scene.triangles.push_back(OccluderTriangle{0, 0, {p1, p2, p3}});
      scene.triangles.push_back(OccluderTriangle{0, 0, {p1, p3, p0}});
    }
  // Ground facing up: corners clockwise seen from above.
  const Vec3 g0 = V(-500, 0, -500), g1 = V(500, 0, -500), g2 = V(500, 0, 500), g3 = V(-500, 0, 500);
  scene.triangles.push_back(OccluderTriangle{1, 0, {g3, g2, g1}});
  scene.triangles.push_back(OccluderTriangle{1, 0, {g3, g1, g0}});

  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 8192; ++i) {
    Vec3 p, n;
    if (i % 2 == 0) {
      const double theta = std::acos(1 - 2 * unit(random)), phi = 2 * kPi * unit(random);
      n = V(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
      p = V(100 * n.x, 100 * n.y + 120.0, 100 * n.z);
    } else {
      p = V(300 * unit(random) - 150, 0, 300 * unit(random) - 150);
      n = V(0, 1, 0);
    }
    const Vec3 origin = V(double(p.x) + n.x, double(p.y) + n.y, double(p.z) + n.z);
    scene.rays.push_back(Ray{i % 8 < 2 ? p : origin, i % 8 < 2 ? n : HemisphereDirection(n, random)});
  }
  return scene;
}

Scene MakeSoupScene(int count) {
  Scene scene;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double size = 100.0 / std::cbrt(double(count)) * 2.0;
  for (int i = 0; i < count; ++i) {
    const double cx = 100 * unit(random), cy = 100 * unit(random), cz = 100 * unit(random);
    Vec3 c[3];
    for (Vec3& k : c)
      k = V(cx + size * (unit(random) - 0.5), cy + size * (unit(random) - 0.5),
            cz + size * (unit(random) - 0.5));
    scene.triangles.push_back(OccluderTriangle{0, i, {c[0], c[1], c[2]}});
  }
  for (int i = 0; i < 8192; ++i) {
    const double theta = std::acos(1 - 2 * unit(random)), phi = 2 * kPi * unit(random);
    scene.rays.push_back(Ray{V(100 * unit(random), 100 * unit(random), 100 * unit(random)),
                             V(std::sin(theta) * std::cos(phi), std::cos(theta),
                               std::sin(theta) * std::sin(phi))});
  }
  return scene;
}

int RingsFor(int64_t triangles) { return int(std::lround(std::sqrt(double(triangles) / 4.0))); }

// Installs a scene as the occluder set (and builds its hierarchy) once.
const Scene& Install(bool soup, int64_t triangles) {
  static std::map<std::pair<bool, int64_t>, Scene> scenes;
  static std::pair<bool, int64_t> installed{false, -1};
  const auto key = std::make_pair(soup, triangles);
  auto it = scenes.find(key);
  if (it == scenes.end())
    it = scenes.emplace(key, soup ? MakeSoupScene(int(triangles))
                                  : MakeSphereScene(RingsFor(triangles))).first;
  if (installed != key) {
    ReleaseOccluderBvh();
    g_plugin.occluders = it->second.triangles.data();
    g_plugin.occluderCount = int32_t(it->second.triangles.size());
    BuildOccluderBvh();
    installed = key;
  }
  return it->second;
}

void Query(benchmark::State& state, bool soup, bool linear) {
  const Scene& scene = Install(soup, state.range(0));
  SetOccluderQueryMode(linear ? OccluderQueryMode::kLinearScan : OccluderQueryMode::kHierarchy);
  size_t next = 0;
  int64_t hits = 0;
  for (auto _ : state) {
    const Ray& ray = scene.rays[next];
    next = next + 1 < scene.rays.size() ? next + 1 : 0;
    const float t = NearestHitDistance(ray.origin, ray.direction);
    hits += t != 0.0f;
    benchmark::DoNotOptimize(t);
  }
  SetOccluderQueryMode(OccluderQueryMode::kHierarchy);
  state.SetItemsProcessed(state.iterations());
  state.counters["triangles"] = double(g_plugin.occluderCount);
  state.counters["hit_fraction"] = double(hits) / double(state.iterations());
}

void BM_SphereFast(benchmark::State& state) { Query(state, false, false); }
void BM_SphereLinear(benchmark::State& state) { Query(state, false, true); }
void BM_SoupFast(benchmark::State& state) { Query(state, true, false); }
void BM_SoupLinear(benchmark::State& state) { Query(state, true, true); }

BENCHMARK(BM_SphereFast)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_SphereLinear)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_SoupFast)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_SoupLinear)->Arg(1000)->Arg(10000)->Arg(100000);

void Build(benchmark::State& state, bool soup) {
  Install(soup, state.range(0));
  for (auto _ : state) BuildOccluderBvh(int(state.range(1)));
  const OccluderBvhInfo info = DescribeOccluderBvh();
  state.counters["triangles"] = double(g_plugin.occluderCount);
  state.counters["bytes_per_triangle"] = double(info.bytes) / double(g_plugin.occluderCount);
  state.counters["nodes"] = double(info.nodes);
  state.counters["depth"] = double(info.depth);
  state.counters["threads"] = double(state.range(1));
}
void BM_SphereBuild(benchmark::State& state) { Build(state, false); }
void BM_SoupBuild(benchmark::State& state) { Build(state, true); }
// Triangles, threads.
BENCHMARK(BM_SphereBuild)
    ->ArgsProduct({{1000, 10000, 100000, 1000000}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SoupBuild)
    ->ArgsProduct({{1000, 10000, 100000, 1000000}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
