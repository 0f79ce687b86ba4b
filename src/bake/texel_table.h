// Texel table: for every texel of a square size x size texture, the face that
// covers it in UV space and the interpolated normal and position there.
// Row-major: texel (column c, row r) is entry r * size + c; the column comes
// from u and the row from v, v not flipped, so row 0 holds v in [0, 1/size).
// UVs are not wrapped: samples outside [0, 1) clamp onto the border texels.
// The table does not store its size; its owner keeps it.
//
// The table is filled by walking every valid face as a quad (a triangle as
// 0-1-2-0) between two rails, 0->1 and 3->2, with cross lines between them;
// both walks take 1 + trunc(2 x size x length) intervals, and running values
// advance by repeated float addition. The first sample to reach a texel wins.
//
// Failure: a face with a non-finite UV, or one too large to walk (see
// kMaxWalkIntervals and kMaxWalkSamples), claims nothing; the rest of the
// table is built as usual.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

struct TexelEntry {
  int32_t face;   // claiming face record index, or -1 for an empty texel
  Vec3 normal;    // bilinear blend of corner normals, not renormalised
  Vec3 position;  // bilinear blend of corner positions
};

// Faces for which 2 x size x (largest UV distance between two of the walked
// corners) exceeds this are skipped whole. That distance bounds every rail
// and cross length, so this caps the intervals of every walk of one face and
// keeps every count convertible; kMaxWalkSamples below caps their product.
constexpr double kMaxWalkIntervals = 2.0 * 8192.0 * 16.0 * 1.4142135623730951 + 2.0;

// Faces whose walk would take more samples than kMaxWalkSamples, or more
// than kMaxWalkSamplesPerTexel for every texel of the table, are skipped
// whole too: the interval bound alone lets one face take (3.7e5)^2 samples,
// an hour's work for a few wild UVs even at size 16. The samples of a face
// are estimated as (rail intervals + 1) x (2 + 2 x size x the longer of the
// two sides the cross lines run between, 0->3 and 1->2), which is what the
// cross walks take up to the float drift of the running rail points. A face
// within a 16 x 16 square of texture widths takes at most about
// 2048 x size^2 samples, so both limits admit every such face at every size
// up to 8192, walked exactly; a face with wild UVs costs at most 65536
// samples per texel of the table (17 million at size 16). Long thin faces
// with short rails stay cheap and are walked.
constexpr double kMaxWalkSamples = kMaxWalkIntervals * kMaxWalkIntervals;
constexpr double kMaxWalkSamplesPerTexel = 65536.0;

// The largest table BuildTexelTable will try to allocate (8 GiB, a size of
// about 17,500).
constexpr uint64_t kMaxTexelTableBytes = uint64_t(8) << 30;

// Builds a new size x size table from the face records of the plug-in state.
// Returns null when size is below 1, when the table would exceed
// kMaxTexelTableBytes, or when it cannot be allocated. The caller owns the
// table and frees it with FreeTexelTable (null is accepted).
TexelEntry* BuildTexelTable(int32_t size);
void FreeTexelTable(TexelEntry* table);
