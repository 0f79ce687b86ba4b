// The settings a bake runs with, held by the main dialog. Values are those the
// library starts with; the dialog resets textureSize, mode and lightPosition
// at every opening and keeps the rest from bake to bake.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

// The index of the selected tab.
enum BakeMode : int32_t {
  kBakeNormal = 0,
  kBakeShade = 1,
  kBakeShadow = 2,
  kBakeAO = 3,
};

struct BakeSettings {
  int32_t textureSize = 0;            // texels per side
  int32_t mode = kBakeNormal;         // BakeMode
  Vec3 lightPosition{0.0f, 0.0f, 0.0f};
  int32_t shadeBackFaces = 0;         // 0 or 1
  int32_t applyFilter = 0;            // 0 or 1
  int32_t aoSampleCount = 20;         // rays per texel, >= 0
  float aoSearchDistance = 100.0f;    // >= 0
  float aoSpreadAngle = 120.0f;       // degrees-like width of the tilt range
};
