#include "bake/average_distance.h"

#include <cstddef>
#include <cstdint>

#include <new>
#include <vector>

#include "bake/parallel_rows.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"

double AverageOccluderDistance() {
  const int32_t size = g_plugin.settings.textureSize;
  const TexelEntry* table = g_plugin.texelTable;
  if (table == nullptr || size < 1 || g_plugin.texelTableSize != size) return 0.0;

  // The rays are cast in parallel, a band of rows at a time; the sum, a
  // 32-bit value whose rounding depends on its order, is then added up in
  // texel order on this thread.
  constexpr int32_t kBandRows = 32;
  float sum = 0.0f;
  int32_t count = 0;
  const size_t width = static_cast<size_t>(size);
  std::vector<float> hits;
  try {
    hits.resize(width * static_cast<size_t>(kBandRows < size ? kBandRows : size));
  } catch (const std::bad_alloc&) {
    return 0.0;
  }
  const int threads = BakeThreadCount();
  for (int32_t bandStart = 0; bandStart < size; bandStart += kBandRows) {
    const int32_t bandRows = size - bandStart < kBandRows ? size - bandStart : kBandRows;
    const auto castRow = [&](int r) {
      const TexelEntry* entries = table + (static_cast<size_t>(bandStart) + r) * width;
      float* rowHits = hits.data() + static_cast<size_t>(r) * width;
      for (size_t c = 0; c < width; ++c)
        if (entries[c].face != -1) rowHits[c] = NearestHitDistance(entries[c].position, entries[c].normal);
    };
    const auto addRow = [&](int r) {
      const TexelEntry* entries = table + (static_cast<size_t>(bandStart) + r) * width;
      const float* rowHits = hits.data() + static_cast<size_t>(r) * width;
      for (size_t c = 0; c < width; ++c) {
        if (entries[c].face == -1) continue;
        sum = RoundToFloat(double(sum) + rowHits[c]);
        ++count;
      }
    };
    ForEachRowInOrder(bandRows, threads, castRow, addRow);
  }
  if (count == 0) return 0.0;
  return double(sum) / count;
}
