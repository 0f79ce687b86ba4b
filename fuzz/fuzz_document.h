// The bake fuzzer's input format: bytes decoded into bake settings and a
// host document, shared by the fuzzer (fuzz_bake.cpp) and the regression
// tests that replay its findings (tests/fuzz_regression_test.cpp), so a
// finding's bytes mean the same document in both.
//
// Bytes are read from the front; an exhausted input reads as zeros, so every
// byte string is a document. A choice among n values takes one byte (two when
// n exceeds 256) modulo n; a float takes a kind byte and, for the kinds that
// need one, four more bytes (little-endian raw bits, or a fraction of a
// range).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "document.h"
#include "math/vecmath.h"
#include "ui/bake_settings.h"

namespace fuzzdoc {

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

  uint32_t Word() {
    uint32_t w = 0;
    for (int k = 0; k < 4; ++k) w |= uint32_t(Byte()) << (8 * k);
    return w;
  }

  // A value in [low, high].
  int32_t Pick(int32_t low, int32_t high) {
    const uint32_t count = uint32_t(int64_t(high) - low + 1);
    const uint32_t raw = count > 256 ? uint32_t(Byte()) | uint32_t(Byte()) << 8 : Byte();
    return int32_t(int64_t(low) + raw % count);
  }

  // A float in [-limit, limit], from four bytes.
  float Fraction(float limit) {
    return RoundToFloat((double(Word()) / 4294967295.0 * 2.0 - 1.0) * limit);
  }

  // The float kinds artists' exporters produce besides plain numbers.
  float Real(float plainLimit) {
    switch (Byte() % 12) {
      case 0: return std::numeric_limits<float>::quiet_NaN();
      case 1: return std::numeric_limits<float>::infinity();
      case 2: return -std::numeric_limits<float>::infinity();
      case 3: return std::numeric_limits<float>::max();
      case 4: return -std::numeric_limits<float>::max();
      case 5: return std::numeric_limits<float>::denorm_min() * float(Pick(-4, 4));
      case 6: return Fraction(1e30f);
      case 7: {
        const uint32_t bits = Word();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
      }
      case 8: return float(Pick(-3, 3)) * 0.5f;
      default: return Fraction(plainLimit);
    }
  }

  // UVs mostly near the unit square, sometimes anywhere.
  float Uv() { return Byte() % 8 == 0 ? Real(1e4f) : RoundToFloat(0.5 + Fraction(1.0f)); }

  // A vertex index: mostly one of the object's, sometimes any int.
  int Index(int count) {
    switch (Byte() % 10) {
      case 0: return int(Word());
      case 1: return Pick(-3, count + 3);
      default: return count > 0 ? Pick(0, count - 1) : 0;
    }
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// What a bake takes besides the document. The AO values are as the dialog
// lets them through (a distance that is not >= 0 becomes 1).
struct Settings {
  BakeSettings bake;
  int32_t threads;  // 1 or 2
};

inline Settings ReadSettings(ByteReader& in) {
  Settings s;
  s.bake.textureSize = in.Pick(1, 16);
  const float x = in.Real(5.0f), y = in.Real(5.0f), z = in.Real(5.0f);
  s.bake.lightPosition = Vec3{x, y, z};
  s.bake.shadeBackFaces = in.Byte() & 1;
  s.bake.applyFilter = in.Byte() % 4 == 0 ? 1 : 0;
  s.bake.aoSampleCount = in.Pick(0, 4);
  const float distance = in.Real(50.0f);
  s.bake.aoSearchDistance = distance >= 0.0f ? distance : 1.0f;
  s.bake.aoSpreadAngle = in.Real(360.0f);
  s.threads = in.Pick(1, 2);
  return s;
}

// One to three objects, each possibly hidden, of up to 24 vertices and 12
// faces; a face has 0 to 8 points, sometimes fewer UVs than points (the
// missing ones read as (0, 0)), and may repeat the face before it. The
// current object may be out of range (-1 or the object count).
inline void ReadDocument(ByteReader& in, host::Document& document) {
  const int objects = in.Pick(1, 3);
  for (int o = 0; o < objects; ++o) {
    host::Object& object = host::AddObject(document, "o" + std::to_string(o));
    object.visible = in.Byte() % 4 != 0;
    const int vertices = in.Pick(0, 24);
    for (int v = 0; v < vertices; ++v) {
      const float x = in.Real(10.0f), y = in.Real(10.0f), z = in.Real(10.0f);
      object.vertices.push_back(Vec3{x, y, z});
    }
    const int faces = in.Pick(0, 12);
    for (int f = 0; f < faces; ++f) {
      if (!object.faces.empty() && in.Byte() % 8 == 0) {
        object.faces.push_back(object.faces.back());  // a duplicated face
        continue;
      }
      host::Face face;
      const int points = in.Pick(0, 8);
      const int uvs = in.Byte() % 8 == 0 ? in.Pick(0, points) : points;
      for (int k = 0; k < points; ++k) face.points.push_back(in.Index(vertices));
      for (int k = 0; k < uvs; ++k) {
        const float u = in.Uv(), v = in.Uv();
        face.uvs.push_back(Vec2{u, v});
      }
      object.faces.push_back(face);
    }
  }
  document.currentObject = in.Pick(-1, objects);
}

}  // namespace fuzzdoc
