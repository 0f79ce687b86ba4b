// The plug-in's one block of plain global data, one per loaded library.
// Pointers and handles are null when nothing is held. Every heap buffer here
// is owned by the state, freed before it is rebuilt and set to null when
// released. Only the host's user-interface thread touches it.
#pragma once

#include <cstdint>

#include "bake/texel_table.h"
#include "image/pixel_image.h"
#include "math/vecmath.h"
#include "mesh/face_records.h"
#include "mesh/occluders.h"
#include "shell/host_api.h"
#include "ui/bake_settings.h"
#include "win32.h"

struct PluginState {
  HINSTANCE moduleInstance = nullptr;  // source of the dialog templates
  MQDocument document = nullptr;
  HostApi host{};
  BakeSettings settings;
  HWND pageWindows[4] = {};            // indexed by BakeMode
  HWND tabControl = nullptr;
  HWND progressBar = nullptr;
  uint32_t bakeStartTick = 0;

  FaceRecord* faceRecords = nullptr;
  int32_t faceCount = 0;
  Vec3* vertexNormals = nullptr;
  int32_t vertexCount = 0;             // entries of vertexNormals

  TexelEntry* texelTable = nullptr;
  int32_t texelTableSize = 0;          // the size the table was built for

  OccluderTriangle* occluders = nullptr;
  int32_t occluderCount = 0;
  OccluderBvh* occluderBvh = nullptr;  // hierarchy over occluders (mesh/occluders.h)

  PixelImage pixelImage;
};

extern PluginState g_plugin;
