// Whole bakes and the nearest-hit query on the knot scene of knot_scene.h:
// the ambient-occlusion pass at 1024 x 1024 with 16 samples and search
// distance 150 on 1 and 2 threads, the occluder set's build, and the query
// on rays as that pass casts them, alone and a texel's 16 at a time.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bake/bake_pass.h"
#include "bake/parallel_rows.h"
#include "knot_scene.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"

namespace {

using knot::Ray;
using knot::Scene;
using knot::TheScene;
using knot::kDistance;

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

// A texel's 16 rays in one call, as the AO pass asks.
void BM_KnotQueryBatches(benchmark::State& state) {
  knot::QueryInBatches(state);
  state.counters["lanes"] = OccluderWalkLanes();
}
BENCHMARK(BM_KnotQueryBatches);

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
  for (auto _ : state) BuildOccluderSet(int(state.range(0)));
  const OccluderBvhInfo info = DescribeOccluderBvh();
  state.counters["threads"] = double(state.range(0));
  state.counters["triangles"] = double(g_plugin.occluderCount);
  state.counters["bytes_per_triangle"] = double(info.bytes) / double(g_plugin.occluderCount);
  state.counters["depth"] = double(info.depth);
}
BENCHMARK(BM_KnotOccluderSet)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

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
