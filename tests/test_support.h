// Shared helpers of the test suite: binding the stand-in host into the
// plug-in state and comparing floats bit for bit.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "math/vecmath.h"

namespace host {
struct Document;
struct Object;
}

// Binds g_plugin.host to the stand-in host module and makes `document` the
// plug-in's document. Fails the calling test when binding fails.
void BindStandInHost(host::Document& document);

inline uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// A float given by its bit pattern, for expectations stated exactly.
inline float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Appends a face with one new vertex per corner (in the given corner order)
// to a stand-in host object. UVs are (0, 0) unless given.
void AddFace(host::Object& object, std::initializer_list<Vec3> corners,
             std::initializer_list<Vec2> uvs = {});

// A bare window of the stand-in platform for tests that need controls
// without a dialog template: a dialog (class "#32770", a procedure that
// handles nothing) when parent is null, else a control of `className`.
struct PlatformWindow;
PlatformWindow* MakeTestWindow(PlatformWindow* parent, const char* className, int id,
                               const char* text);
