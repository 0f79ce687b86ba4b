// Whole bakes and the nearest-hit query on the torus knot of torus_knot.h
// (500 x 250 quads, 250,000 triangles, its UVs covering the texture): the
// ambient-occlusion pass at 1024 x 1024 with 16 samples and search distance
// 60 on 1 and 2 threads, the occluder set's build, and the query on rays
// as that pass casts them (from one unit off the surface, within 60 degrees
// of the normal, hits counted up to the search distance).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bake/bake_pass.h"
#include "bake/parallel_rows.h"
#include "bake/texel_table.h"
#include "document.h"
#include "mesh/face_records.h"
#include "mesh/occluders.h"
#include "obj_import.h"
#include "shell/plugin_state.h"
#include "torus_knot.h"
#include "window_internal.h"

namespace {

constexpr int32_t kSize = 1024;
constexpr float kDistance = 60.0f;

struct Ray {
  Vec3 origin, direction;
};

struct Scene {
  host::Document document;
  HWND dialog = nullptr;
  std::vector<Ray> rays;

  Scene() {
    std::string error;
    if (!host::ImportObjFromString(knot::TorusKnotObj(500, 250), "knot.obj", 1.0, document,
                                   &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
    BindHostApi(g_plugin.host, TAMSINK_HOST_MODULE_PATH);
    g_plugin.document = host::Handle(document);
    GatherFaceRecords();
    g_plugin.settings.textureSize = kSize;
    g_plugin.texelTable = BuildTexelTable(kSize);
    g_plugin.texelTableSize = kSize;
    PlatformWindowSpec params;
    params.className = "#32770";
    params.dialogProc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    dialog = PlatformCreateWindow(params);
    params = PlatformWindowSpec{};
    params.parent = dialog;
    params.className = "msctls_progress32";
    params.id = 1019;
    g_plugin.progressBar = PlatformCreateWindow(params);
    params.className = "STATIC";
    params.id = kElapsedLabelId;
    PlatformCreateWindow(params);
    BuildOccluderSet();

    // Every 37th texel, 16 rays each: along the normal from the surface,
    // then 15 within 60 degrees of it from one unit off.
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int64_t i = 0; i < int64_t(kSize) * kSize; i += 37) {
      const TexelEntry& t = g_plugin.texelTable[i];
      if (t.face == -1) continue;
      const Vec3 n = t.normal, p = t.position;
      rays.push_back(Ray{p, n});
      const Vec3 origin{p.x + n.x, p.y + n.y, p.z + n.z};
      double tx = 0, ty = -n.z, tz = n.y;
      if (std::fabs(n.x) >= 0.9) { tx = n.z; ty = 0; tz = -n.x; }
      const double tl = std::sqrt(tx * tx + ty * ty + tz * tz);
      tx /= tl; ty /= tl; tz /= tl;
      const double bx = n.y * tz - n.z * ty, by = n.z * tx - n.x * tz, bz = n.x * ty - n.y * tx;
      for (int s = 1; s < 16; ++s) {
        const double tilt = (unit(random) - 0.5) * 2.0 * 1.0471975511965976, turn = 6.283185307179586 * unit(random);
        const double x = std::sin(tilt) * std::cos(turn), y = std::sin(tilt) * std::sin(turn), z = std::cos(tilt);
        rays.push_back(Ray{origin, Vec3{float(x * tx + y * bx + z * n.x), float(x * ty + y * by + z * n.y),
                                        float(x * tz + y * bz + z * n.z)}});
      }
    }
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

void BM_KnotQuery(benchmark::State& state) {
  const Scene& scene = TheScene();
  SetOccluderQueryMode(OccluderQueryMode::kHierarchy);
  size_t next = 0;
  int64_t hits = 0;
  for (auto _ : state) {
    const Ray& ray = scene.rays[next];
    next = next + 1 < scene.rays.size() ? next + 1 : 0;
    const float t = NearestHitWithin(ray.origin, ray.direction, kDistance);
    hits += t != 0.0f;
    benchmark::DoNotOptimize(t);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["triangles"] = double(g_plugin.occluderCount);
  state.counters["hit_fraction"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_KnotQuery);

// The same rays without the distance limit, as the average distance casts
// its rays.
void BM_KnotQueryUnlimited(benchmark::State& state) {
  const Scene& scene = TheScene();
  size_t next = 0;
  for (auto _ : state) {
    const Ray& ray = scene.rays[next];
    next = next + 1 < scene.rays.size() ? next + 1 : 0;
    benchmark::DoNotOptimize(NearestHitDistance(ray.origin, ray.direction));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KnotQueryUnlimited);

void BM_KnotOccluderSet(benchmark::State& state) {
  TheScene();
  for (auto _ : state) BuildOccluderSet();
  const OccluderBvhInfo info = DescribeOccluderBvh();
  state.counters["triangles"] = double(g_plugin.occluderCount);
  state.counters["bytes_per_triangle"] = double(info.bytes) / double(g_plugin.occluderCount);
  state.counters["depth"] = double(info.depth);
}
BENCHMARK(BM_KnotOccluderSet)->Unit(benchmark::kMillisecond);

void BM_KnotAOBake(benchmark::State& state) {
  Scene& scene = TheScene();
  g_plugin.settings.mode = kBakeAO;
  g_plugin.settings.aoSampleCount = 16;
  g_plugin.settings.aoSearchDistance = kDistance;
  g_plugin.settings.aoSpreadAngle = 120.0f;
  g_plugin.settings.applyFilter = false;
  SetBakeThreadCount(int(state.range(0)));
  for (auto _ : state) RunBakePass(scene.dialog);
  SetBakeThreadCount(0);
  state.counters["threads"] = double(state.range(0));
}
BENCHMARK(BM_KnotAOBake)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
