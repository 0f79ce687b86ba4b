// Face records: every face of the document's current object as one fixed-size
// record with up to four corners (position, UV, host vertex index, smoothed
// vertex normal) and the face's own unit normal. Gathered once per bake
// invocation, read by the texel table.
//
// Orientation: a face's normal points to the side from which its corners are
// seen in clockwise order. Smoothing is unweighted: a vertex gets the
// normalised sum of the unit normals of the faces using it, once per corner.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

struct FaceRecord {
  int32_t faceIndex;         // host face index, equal to the record's position
  int32_t pointCount;        // points of the face as the host reports them
  int32_t valid;             // 1 when pointCount >= 3; otherwise only the two fields above are defined
  Vec3 faceNormal;           // unit normal, or (0, 0, 0) for a degenerate face
  Vec3 cornerNormals[4];     // smoothed vertex normal per corner
  Vec3 cornerPositions[4];   // host vertex coordinates, unchanged
  Vec2 cornerUVs[4];         // (u, v) per corner as the host stores them
  int32_t cornerVertices[4]; // host vertex index per corner
};

// Rebuilds faceRecords, faceCount and vertexNormals of the plug-in state for
// the current object of its document, through the host API. Always returns
// true. When an array cannot be allocated, or the host reports an
// impossible count, the state is left with no records (faceCount 0).
bool GatherFaceRecords();

// Unit normal of the triangle, or (0, 0, 0) when its cross product is zero.
Vec3 TriangleNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2);
// Unit normal of a four-cornered face from the diagonal split whose halves
// agree better (the p1-p3 split on a tie), or (0, 0, 0).
Vec3 QuadNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3);
