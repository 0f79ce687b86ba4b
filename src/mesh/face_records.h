// Face records: every face of the document's current object as one fixed-size
// record with up to four corners (position, UV, host vertex index, smoothed
// vertex normal) and the face's own unit normal. Gathered once per bake
// invocation, read by the texel table.
//
// Orientation: a face's normal points to the side from which its corners are
// seen in clockwise order. Smoothing is unweighted: a vertex gets the
// normalised sum of the unit normals of the faces using it, once per corner,
// summed in ascending face order and corner order with every addition
// rounded to float.
//
// Failure: gathering never reports an error. When the host reports a negative
// or impossibly large face or vertex count, or an array cannot be allocated,
// the state is left with no records and no normals (both counts 0). A face
// whose point count is too large to buffer is kept as an invalid record. A
// corner whose vertex index is outside [0, vertexCount) is not asked of the
// host: its position and normal are (0, 0, 0) and it adds nothing to any
// vertex normal.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

struct FaceRecord {
  int32_t faceIndex;         // host face index, equal to the record's position
  int32_t pointCount;        // points of the face as the host reports them
  int32_t valid;             // 1 when pointCount >= 3; otherwise only the fields above are defined
  Vec3 faceNormal;           // unit normal, or (0, 0, 0) for a degenerate face
  Vec3 cornerNormals[4];     // smoothed vertex normal per corner
  Vec3 cornerPositions[4];   // host vertex coordinates, unchanged
  Vec2 cornerUVs[4];         // (u, v) per corner as the host stores them
  int32_t cornerVertices[4]; // host vertex index per corner
};

// Faces with more points than this are kept as invalid records: no real face
// has that many, and buffering what the host claims could exhaust memory.
constexpr int32_t kMaxFacePoints = 1 << 20;
// Face or vertex counts above this are taken as a broken host answer.
constexpr int32_t kMaxGatherCount = 1 << 28;

// Rebuilds faceRecords, faceCount, vertexNormals and vertexCount of the
// plug-in state for the current object of its document, through the host
// API. Always returns true.
bool GatherFaceRecords();

// Frees the face records and vertex normals of the last gathering.
void ReleaseFaceRecords();

// The smoothing half of the gathering, on records already read from the host
// (faceNormal and corners filled): adds every valid record's faceNormal to
// the entries of its corners' vertices, normalises every entry (to (0, 0, 0)
// when its length is not greater than 0, NaN included), then copies the
// entries back into the records' cornerNormals. vertexNormals must hold
// vertexCount entries set to (0, 0, 0).
void SmoothVertexNormals(FaceRecord* records, int32_t faceCount, Vec3* vertexNormals,
                         int32_t vertexCount);

// Unit normal of the triangle, or (0, 0, 0) when its cross product is zero.
Vec3 TriangleNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2);
// Unit normal of a four-cornered face from the diagonal split whose halves
// agree better (the p1-p3 split on a tie), or (0, 0, 0).
Vec3 QuadNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3);
