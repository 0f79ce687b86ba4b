// Building the texel table for a typical object: a 100 x 100 grid of quads
// (10,000 faces) UV-mapped over the unit square, at three texture sizes. The
// work grows with size^2: every face is walked at about four samples per
// texel it covers.
#include <benchmark/benchmark.h>

#include <vector>

#include "bake/texel_table.h"
#include "mesh/face_records.h"
#include "shell/plugin_state.h"

namespace {

constexpr int kGrid = 100;

std::vector<FaceRecord> GridFaces() {
  std::vector<FaceRecord> faces;
  faces.reserve(kGrid * kGrid);
  for (int row = 0; row < kGrid; ++row) {
    for (int column = 0; column < kGrid; ++column) {
      FaceRecord r{};
      r.faceIndex = int32_t(faces.size());
      r.pointCount = 4;
      r.valid = 1;
      r.faceNormal = Vec3{0.0f, 0.0f, -1.0f};
      const int du[4] = {0, 1, 1, 0}, dv[4] = {0, 0, 1, 1};
      for (int k = 0; k < 4; ++k) {
        const float u = float(column + du[k]) / kGrid, v = float(row + dv[k]) / kGrid;
        r.cornerUVs[k] = Vec2{u, v};
        // A gently curved sheet, so positions and normals vary per corner.
        r.cornerPositions[k] = Vec3{u * 10.0f, v * 10.0f, (u - 0.5f) * (v - 0.5f)};
        r.cornerNormals[k] = Vec3{0.1f * (v - 0.5f), 0.1f * (u - 0.5f), -1.0f};
        r.cornerVertices[k] = (row + dv[k]) * (kGrid + 1) + column + du[k];
      }
      faces.push_back(r);
    }
  }
  return faces;
}

void BM_BuildTexelTable(benchmark::State& state) {
  const int32_t size = int32_t(state.range(0));
  std::vector<FaceRecord> faces = GridFaces();
  g_plugin.faceRecords = faces.data();
  g_plugin.faceCount = int32_t(faces.size());
  for (auto _ : state) {
    TexelEntry* table = BuildTexelTable(size);
    if (table == nullptr) {
      state.SkipWithError("no texel table");
      break;
    }
    benchmark::DoNotOptimize(table);
    FreeTexelTable(table);
  }
  g_plugin.faceRecords = nullptr;
  g_plugin.faceCount = 0;
  state.SetItemsProcessed(state.iterations() * int64_t(size) * size);
}
BENCHMARK(BM_BuildTexelTable)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
