#include "bake/average_distance.h"

#include <cstddef>
#include <cstdint>

#include "mesh/occluders.h"
#include "shell/plugin_state.h"

double AverageOccluderDistance() {
  const int32_t size = g_plugin.settings.textureSize;
  const TexelEntry* table = g_plugin.texelTable;
  if (table == nullptr || size < 1 || g_plugin.texelTableSize != size) return 0.0;

  // The sum is a 32-bit value, added in texel order.
  float sum = 0.0f;
  int32_t count = 0;
  const size_t texels = static_cast<size_t>(size) * static_cast<size_t>(size);
  for (size_t i = 0; i < texels; ++i) {
    const TexelEntry& texel = table[i];
    if (texel.face == -1) continue;
    sum = RoundToFloat(double(sum) + NearestHitDistance(texel.position, texel.normal));
    ++count;
  }
  if (count == 0) return 0.0;
  return double(sum) / count;
}
