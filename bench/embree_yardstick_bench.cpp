// A yardstick for the nearest-hit query: Intel Embree's single-ray
// nearest hit (rtcIntersect1) on the knot scene's triangles and rays, next
// to our query on the same rays. Benchmark only: the plug-in never links
// Embree. The two answer slightly different questions (Embree hits both
// sides of a triangle and has no determinant threshold), so the figure is a
// yardstick, not a comparison of answers. Built when Debian's
// libembree-dev is installed (scripts/bench.sh installs it).
#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "knot_scene.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"

namespace {

using knot::kDistance;
using knot::Ray;
using knot::TheScene;

struct EmbreeScene {
  RTCDevice device = nullptr;
  RTCScene scene = nullptr;

  EmbreeScene() {
    TheScene();
    device = rtcNewDevice("threads=1");
    scene = rtcNewScene(device);
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    const size_t count = size_t(g_plugin.occluderCount);
    float* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), 3 * count));
    unsigned* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), count));
    for (size_t i = 0; i < count; ++i)
      for (int k = 0; k < 3; ++k) {
        const Vec3& c = g_plugin.occluders[i].corners[k];
        vertices[9 * i + 3 * k + 0] = c.x;
        vertices[9 * i + 3 * k + 1] = c.y;
        vertices[9 * i + 3 * k + 2] = c.z;
        indices[3 * i + k] = unsigned(3 * i + k);
      }
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene);
  }
  ~EmbreeScene() {
    rtcReleaseScene(scene);
    rtcReleaseDevice(device);
  }
};

EmbreeScene& TheEmbreeScene() {
  static EmbreeScene scene;
  return scene;
}

void BM_EmbreeIntersect1(benchmark::State& state) {
  const EmbreeScene& embree = TheEmbreeScene();
  const std::vector<Ray>& rays = TheScene().rays;
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  size_t next = 0;
  int64_t hits = 0;
  for (auto _ : state) {
    const Ray& ray = rays[next];
    next = next + 1 < rays.size() ? next + 1 : 0;
    RTCRayHit hit;
    hit.ray.org_x = ray.origin.x;
    hit.ray.org_y = ray.origin.y;
    hit.ray.org_z = ray.origin.z;
    hit.ray.dir_x = ray.direction.x;
    hit.ray.dir_y = ray.direction.y;
    hit.ray.dir_z = ray.direction.z;
    hit.ray.tnear = 0.0f;
    hit.ray.tfar = kDistance;
    hit.ray.mask = ~0u;
    hit.ray.flags = 0;
    hit.ray.time = 0.0f;
    hit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    hit.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(embree.scene, &context, &hit);
    hits += hit.hit.geomID != RTC_INVALID_GEOMETRY_ID;
    benchmark::DoNotOptimize(hit.ray.tfar);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["hit_fraction"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_EmbreeIntersect1);

// Ours on the same rays, one at a time and a texel's 16 at a time.
void BM_OursAlone(benchmark::State& state) {
  const std::vector<Ray>& rays = TheScene().rays;
  size_t next = 0;
  int64_t hits = 0;
  for (auto _ : state) {
    const Ray& ray = rays[next];
    next = next + 1 < rays.size() ? next + 1 : 0;
    const float t = NearestHitWithin(ray.origin, ray.direction, kDistance);
    hits += t != 0.0f;
    benchmark::DoNotOptimize(t);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["hit_fraction"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_OursAlone);

void BM_OursBatches(benchmark::State& state) {
  knot::QueryInBatches(state);
}
BENCHMARK(BM_OursBatches);

}  // namespace

BENCHMARK_MAIN();
