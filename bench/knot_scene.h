// The benchmarks' knot scene: the torus knot of torus_knot.h (500 x 250
// quads, 250,000 triangles, its UVs covering the texture) imported through
// the baker's OBJ reader into the stand-in host's document, the plug-in
// state set up for a 1024 x 1024 bake (face records, texel table, a dialog
// with its progress bar and label, the occluder set), and rays as the AO
// pass casts them: from every 37th covered texel, one along the normal
// from the surface and 15 within 60 degrees of it from one unit off.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bake/bake_pass.h"
#include "bake/texel_table.h"
#include "document.h"
#include "mesh/face_records.h"
#include "mesh/occluders.h"
#include "obj_import.h"
#include "shell/plugin_state.h"
#include "torus_knot.h"
#include "bake_windows.h"

namespace knot {

constexpr int32_t kSize = 1024;
// The AO search distance: strands of the knot lie 60 to 240 units apart,
// so at 150 about a fifth of the rays find an occluder and the picture
// shows real occlusion (at 60 it would be white).
constexpr float kDistance = 150.0f;

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
    dialog = MakeBakeWindows();
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

inline Scene& TheScene() {
  static Scene scene;
  return scene;
}

// Queries the scene's rays a texel's 16 at a time, as the AO pass does,
// for as long as the benchmark runs.
inline void QueryInBatches(benchmark::State& state) {
  const std::vector<Ray>& rays = TheScene().rays;
  std::vector<Vec3> origins, directions;
  for (const Ray& ray : rays) {
    origins.push_back(ray.origin);
    directions.push_back(ray.direction);
  }
  size_t next = 0;
  float hits[16];
  for (auto _ : state) {
    NearestHitsWithin(origins.data() + next, directions.data() + next, 16, kDistance, hits);
    benchmark::DoNotOptimize(hits);
    next = next + 32 <= rays.size() ? next + 16 : 0;
  }
  state.SetItemsProcessed(state.iterations() * 16);
}

}  // namespace knot
