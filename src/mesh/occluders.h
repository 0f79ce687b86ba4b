// Occluder set and nearest-hit query: the triangles of every visible object of
// the document in one flat array, and the nearest front-facing hit of a ray
// against them. A triangle is hit only from the side its face normal points
// to (the side from which its corners are seen clockwise).
//
// Two answers to the same question share one signature. NearestHitDistanceLinear
// is the reference: every triangle, in array order, through
// IntersectRayTriangle. NearestHitDistance answers from a bounding volume
// hierarchy that BuildOccluderSet builds over the array, and returns the very
// same float (bit for bit, the sign of a zero included) for every ray; it only
// skips boxes that provably hold no triangle whose float test could give an
// accepted hit. The bounds behind that proof are written out in
// occluders.cpp. Rays or triangles outside the range those bounds cover
// (non-finite values, coordinates beyond 2^40) are answered by plain testing.
//
// The hierarchy (g_plugin.occluderBvh) is owned by the plug-in state next to
// the array it was built from. It is used only while g_plugin.occluders and
// g_plugin.occluderCount are still the array and count it was built from;
// otherwise the query scans the array. Code that installs an array by any
// other means than BuildOccluderSet releases the hierarchy first
// (ReleaseOccluderBvh), and code that frees the set calls ReleaseOccluderSet.
//
// Selecting the reference: the environment variable TAMSINK_LINEAR_SCAN=1,
// read once on first use, or SetOccluderQueryMode, makes NearestHitDistance
// the plain scan. The hierarchy is still built, so the mode can be switched
// back at any time.
//
// Queries read the set only and may run on several threads at once; building,
// releasing and switching the mode happen between queries.
#pragma once

#include <cstddef>
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

// The bounding volume hierarchy over the occluder set (defined in
// occluders.cpp).
struct OccluderBvh;

// Number of triangles the visible objects of the document yield: one per
// three-point face, two per four-point face.
int32_t CountOccluderTriangles();

// Rebuilds occluders and occluderCount of the plug-in state, then the
// hierarchy over them, on up to `threads` threads (the hierarchy is the same
// for every count). Returns false when the document yields no triangle (the
// count is then 0 and the hierarchy released).
bool BuildOccluderSet(int threads = 1);

// Frees the occluder array and its hierarchy; both become null and the count
// 0. Safe to call at any time, also twice.
void ReleaseOccluderSet();

// Rebuilds the hierarchy over the current g_plugin.occluders and
// occluderCount, freeing the previous one. BuildOccluderSet calls it; tests
// that install an array by hand call it too. Without memory for it there is
// no hierarchy, and queries scan. `threads` as for BuildOccluderSet.
void BuildOccluderBvh(int threads = 1);

// Frees the hierarchy alone (g_plugin.occluderBvh becomes null).
void ReleaseOccluderBvh();

// One-sided Moller-Trumbore test with a raw determinant threshold of 0.001.
// On a hit returns true and writes each out-parameter that is not null; on a
// miss writes nothing.
bool IntersectRayTriangle(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                          const Vec3& v1, const Vec3& v2, float* t, float* u, float* v);

// The smallest t in [0, 9999.9) over all occluder triangles, or 0 when there
// is none. The direction is used as given, not normalised. Answered from the
// hierarchy unless the linear scan is selected.
float NearestHitDistance(const Vec3& origin, const Vec3& direction);

// The same answer when it is below `limit`, else 0: NearestHitDistance's
// result t when t < limit, and 0 otherwise. Callers that only use hits
// nearer than a distance get them without following the ray beyond it.
float NearestHitWithin(const Vec3& origin, const Vec3& direction, float limit);

// NearestHitWithin for `count` rays, answers into results[0, count). The
// rays are walked through the hierarchy several at a time, which keeps the
// processor busy while each waits for memory.
void NearestHitsWithin(const Vec3* origins, const Vec3* directions, int count, float limit,
                       float* results);

// The reference: the same answer from a scan of every triangle in array
// order, accepting a hit when t >= 0 and t < best, best starting at 9999.9.
float NearestHitDistanceLinear(const Vec3& origin, const Vec3& direction);

enum class OccluderQueryMode : int32_t {
  kHierarchy = 0,   // NearestHitDistance uses the hierarchy (the default)
  kLinearScan = 1,  // NearestHitDistance is NearestHitDistanceLinear
};

// The mode NearestHitDistance answers in. Until SetOccluderQueryMode is
// called it is kLinearScan when TAMSINK_LINEAR_SCAN is "1" in the
// environment at first use, else kHierarchy.
OccluderQueryMode GetOccluderQueryMode();
void SetOccluderQueryMode(OccluderQueryMode mode);

// What the current hierarchy holds, for tests and benchmarks. All zero when
// there is none.
struct OccluderBvhInfo {
  bool usable;              // built from the current array and count
  int32_t nodes;            // inner nodes (384 bytes, each holding eight children's boxes)
  int32_t leaves;           // up to 8 triangles each
  int32_t depth;            // levels, the leaves' included
  int32_t boxedTriangles;   // triangles held in leaves
  int32_t plainTriangles;   // triangles tested on every query (out of range)
  int32_t skippedTriangles; // point triangles (all corners equal), never hit
  size_t bytes;             // heap bytes of the hierarchy, the triangle array not counted
};
OccluderBvhInfo DescribeOccluderBvh();

// A hash of everything the walk reads of the current hierarchy (its nodes
// and leaf triangles, in memory order), 0 when there is none: equal
// hierarchies give equal values, so a test can see that the thread count of
// the build changes nothing.
uint64_t OccluderBvhFingerprint();

// Number of hierarchies currently allocated, in any state: lets a test see
// that rebuilding and releasing free the old one.
int32_t LiveOccluderBvhCount();

// Test hook: with false, boxes are tested without the rounding margins that
// make the skipping safe, so a test can show that its rays do depend on them.
// Never used by the plug-in; true by default.
void SetOccluderBvhMarginsForTesting(bool enabled);

// The lanes the walk tests a node's children in: 8 on x86-64 processors
// with AVX2 (outside Windows builds), else 4. The answers are the same.
int OccluderWalkLanes();

// Test hook: true makes the walk use four lanes everywhere, so that a test
// can compare both walks. Never used by the plug-in; false by default.
void SetOccluderWalkFourLanesForTesting(bool fourOnly);
