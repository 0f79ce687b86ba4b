// Occluder set and nearest-hit query: the triangles of every visible object of
// the document in one flat array, and the nearest front-facing hit of a ray
// against them. A triangle is hit only from the side its face normal points
// to (the side from which its corners are seen clockwise).
#pragma once

#include <cstdint>

#include "math/vecmath.h"

struct OccluderTriangle {
  int32_t objectIndex;  // document index of the source object
  int32_t faceIndex;    // face index within that object
  Vec3 corners[3];      // host vertex coordinates, in stored order
};

struct RayHit {
  float t;  // ray parameter; the hit point is origin + t * direction
  float u;  // barycentric weight of V1
  float v;  // barycentric weight of V2
};

// Number of triangles the visible objects of the document yield: one per
// three-point face, two per four-point face.
int32_t CountOccluderTriangles();

// Rebuilds occluders and occluderCount of the plug-in state. Returns false
// when the document yields no triangle (the count is then 0).
bool BuildOccluderSet();

// One-sided Moller-Trumbore test with a raw determinant threshold of 0.001.
// On a hit returns true and writes each out-parameter that is not null; on a
// miss writes nothing.
bool IntersectRayTriangle(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                          const Vec3& v1, const Vec3& v2, float* t, float* u, float* v);

// The smallest t in [0, 9999.9) over all occluder triangles, or 0 when there
// is none. The direction is used as given, not normalised.
float NearestHitDistance(const Vec3& origin, const Vec3& direction);
