// Baseline figures of the plain bake: every ray tests every occluder
// triangle. A UV-mapped sphere of about 10,000 triangles over a ground
// plane, baked at 256 x 256 in each mode, and the nearest-hit query's
// throughput in rays per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <utility>
#include <vector>

#include "bake/average_distance.h"
#include "bake/bake_pass.h"
#include "bake/texel_table.h"
#include "document.h"
#include "mesh/face_records.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"
#include "bake_windows.h"

namespace {

// A latitude-longitude sphere of radius 100 with quads seen clockwise from
// outside (the host's front side), UVs spanning the unit square.
void AddSphere(host::Object& object, int rings, int segments) {
  const double pi = 3.14159265358979323846;
  for (int r = 0; r <= rings; ++r)
    for (int s = 0; s <= segments; ++s) {
      const double theta = pi * r / rings, phi = 2 * pi * s / segments;
      object.vertices.push_back(Vec3{float(100 * std::sin(theta) * std::cos(phi)),
                                     float(100 * std::cos(theta)) + 120.0f,
                                     float(100 * std::sin(theta) * std::sin(phi))});
    }
  auto index = [&](int r, int s) { return r * (segments + 1) + s; };
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < segments; ++s) {
      host::Face face;
      for (const int k : {index(r, s), index(r, s + 1), index(r + 1, s + 1), index(r + 1, s)})
        face.points.push_back(k);
      for (int k : {0, 1, 2, 3}) {
        const int rr = r + (k >= 2), ss = s + (k == 1 || k == 2);
        face.uvs.push_back(Vec2{float(ss) / segments, float(rr) / rings});
      }
      object.faces.push_back(std::move(face));
    }
}

struct Scene {
  host::Document document;
  HWND dialog = nullptr;

  Scene() {
    AddSphere(host::AddObject(document, "sphere"), 50, 100);  // 5,000 quads, 10,000 triangles
    host::Object& ground = host::AddObject(document, "ground");
    ground.vertices = {{-500, 0, -500}, {500, 0, -500}, {500, 0, 500}, {-500, 0, 500}};
    host::Face quad;
    for (const int k : {0, 3, 2, 1}) quad.points.push_back(k);  // facing up
    ground.faces.push_back(std::move(quad));
    BindHostApi(g_plugin.host, TAMSINK_HOST_MODULE_PATH);
    g_plugin.document = host::Handle(document);
    GatherFaceRecords();
    g_plugin.settings.textureSize = 256;
    g_plugin.texelTable = BuildTexelTable(256);
    g_plugin.texelTableSize = 256;
    dialog = MakeBakeWindows();
    BuildOccluderSet();
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

void BM_BakePass(benchmark::State& state) {
  Scene& scene = TheScene();
  g_plugin.settings.mode = static_cast<int>(state.range(0));
  g_plugin.settings.lightPosition = Vec3{1, 2, 1};
  g_plugin.settings.aoSampleCount = 20;
  g_plugin.settings.aoSearchDistance = 100.0f;
  for (auto _ : state) RunBakePass(scene.dialog);
  state.counters["triangles"] = g_plugin.occluderCount;
}
BENCHMARK(BM_BakePass)->Arg(kBakeNormal)->Arg(kBakeShade)->Arg(kBakeShadow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BakePass)->Arg(kBakeAO)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_NearestHitDistance(benchmark::State& state) {
  TheScene();
  // Rays from the texels of the table along their normals, as the average
  // distance casts them.
  std::vector<TexelEntry> rays;
  for (int i = 0; i < 256 * 256; ++i)
    if (g_plugin.texelTable[i].face != -1) rays.push_back(g_plugin.texelTable[i]);
  size_t next = 0;
  for (auto _ : state) {
    const TexelEntry& t = rays[next];
    next = next + 97 < rays.size() ? next + 97 : (next + 97) % rays.size();
    benchmark::DoNotOptimize(NearestHitDistance(t.position, t.normal));
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["triangles"] = g_plugin.occluderCount;
}
BENCHMARK(BM_NearestHitDistance);

}  // namespace

BENCHMARK_MAIN();
