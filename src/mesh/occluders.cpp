#include "mesh/occluders.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

#include "shell/plugin_state.h"

namespace {

// Triangles a face of this many points yields.
int TrianglesOfFace(int pointCount) {
  if (pointCount == 3) return 1;
  if (pointCount == 4) return 2;
  return 0;
}

// Calls visit(objectIndex, object) for every visible object of the document.
template <typename Visit>
void ForEachVisibleObject(Visit visit) {
  const HostApi& host = g_plugin.host;
  const int objectCount = host.MQDoc_GetObjectCount(g_plugin.document);
  for (int o = 0; o < objectCount; ++o) {
    const MQObject object = host.MQDoc_GetObject(g_plugin.document, o);
    if (host.MQObj_GetVisible(object) == 0) continue;
    visit(o, object);
  }
}

Vec3 Sub(const Vec3& a, const Vec3& b) {
  return Vec3{RoundToFloat(double(a.x) - b.x), RoundToFloat(double(a.y) - b.y),
              RoundToFloat(double(a.z) - b.z)};
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
  return Vec3{RoundToFloat(double(a.y) * b.z - double(a.z) * b.y),
              RoundToFloat(double(a.z) * b.x - double(a.x) * b.z),
              RoundToFloat(double(a.x) * b.y - double(a.y) * b.x)};
}

// The hits the query accepts lie in [0, kFarthestHit).
constexpr float kFarthestHit = 9999.9f;

}  // namespace

int32_t CountOccluderTriangles() {
  const HostApi& host = g_plugin.host;
  int64_t total = 0;
  ForEachVisibleObject([&](int, MQObject object) {
    const int faceCount = host.MQObj_GetFaceCount(object);
    for (int f = 0; f < faceCount; ++f) total += TrianglesOfFace(host.MQObj_GetFacePointCount(object, f));
  });
  // A document beyond the int32 count yields nothing rather than a wrapped count.
  if (total > std::numeric_limits<int32_t>::max()) return 0;
  return static_cast<int32_t>(total);
}

bool BuildOccluderSet() {
  const int32_t n = CountOccluderTriangles();
  g_plugin.occluderCount = n;
  if (n == 0) return false;

  delete[] g_plugin.occluders;
  g_plugin.occluders = new (std::nothrow) OccluderTriangle[static_cast<size_t>(n)];
  if (g_plugin.occluders == nullptr) {
    // Without the memory for the set nothing can occlude.
    g_plugin.occluderCount = 0;
    return false;
  }

  const HostApi& host = g_plugin.host;
  int32_t next = 0;
  ForEachVisibleObject([&](int o, MQObject object) {
    const int faceCount = host.MQObj_GetFaceCount(object);
    for (int f = 0; f < faceCount; ++f) {
      const int points = host.MQObj_GetFacePointCount(object, f);
      const int triangles = TrianglesOfFace(points);
      if (triangles == 0) continue;
      // The count walk fixed the array size; a host answering differently the
      // second time cannot make us write past it.
      if (next + triangles > n) return;
      int vertices[4];
      host.MQObj_GetFacePointArray(object, f, vertices);
      Vec3 p[4];
      for (int k = 0; k < points; ++k) host.MQObj_GetVertex(object, vertices[k], &p[k]);
      if (points == 3) {
        g_plugin.occluders[next++] = OccluderTriangle{o, f, {p[0], p[1], p[2]}};
      } else {
        // Split along p1-p3, keeping the face's corner order and so its front.
        g_plugin.occluders[next++] = OccluderTriangle{o, f, {p[1], p[2], p[3]}};
        g_plugin.occluders[next++] = OccluderTriangle{o, f, {p[1], p[3], p[0]}};
      }
    }
  });
  g_plugin.occluderCount = next;
  return true;
}

bool IntersectRayTriangle(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                          const Vec3& v1, const Vec3& v2, float* t, float* u, float* v) {
  const Vec3 e1 = Sub(v1, v0);
  const Vec3 e2 = Sub(v2, v0);
  const Vec3 p = Cross(direction, e2);
  // det, u, v and t are 32-bit values; the reciprocal stays double.
  const float det = RoundToFloat(DotProduct(e1, p));
  if (!(double(det) > 0.001)) return false;
  const Vec3 s = Sub(origin, v0);
  const float uu = RoundToFloat(DotProduct(s, p));
  if (uu < 0.0f || uu > det) return false;
  const Vec3 q = Cross(s, e1);
  const float vv = RoundToFloat(DotProduct(direction, q));
  if (vv < 0.0f || double(uu) + double(vv) > double(det)) return false;
  const double inv = 1.0 / double(det);
  if (t != nullptr) *t = RoundToFloat(DotProduct(e2, q) * inv);
  if (u != nullptr) *u = RoundToFloat(uu * inv);
  if (v != nullptr) *v = RoundToFloat(vv * inv);
  return true;
}

float NearestHitDistance(const Vec3& origin, const Vec3& direction) {
  float best = kFarthestHit;
  bool found = false;
  const OccluderTriangle* triangles = g_plugin.occluders;
  const int32_t count = triangles != nullptr ? g_plugin.occluderCount : 0;
  for (int32_t i = 0; i < count; ++i) {
    const Vec3* c = triangles[i].corners;
    float t;
    // Corners in reverse: the triangle is hit from the side its normal faces.
    if (IntersectRayTriangle(origin, direction, c[2], c[1], c[0], &t, nullptr, nullptr) &&
        t >= 0.0f && t < best) {
      best = t;
      found = true;
    }
  }
  return found ? best : 0.0f;
}
