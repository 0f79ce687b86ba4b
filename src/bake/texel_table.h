// Texel table: for every texel of a square size x size texture, the face that
// covers it in UV space and the interpolated normal and position there.
// Row-major: texel (column c, row r) is entry r * size + c; the column comes
// from u and the row from v, v not flipped, so row 0 holds v in [0, 1/size).
// The table does not store its size; its owner keeps it.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

struct TexelEntry {
  int32_t face;   // claiming face record index, or -1 for an empty texel
  Vec3 normal;    // bilinear blend of corner normals, not renormalised
  Vec3 position;  // bilinear blend of corner positions
};

// Faces whose walk would need more than this many intervals along a rail or
// across are skipped whole. It admits every face whose UV corners lie within
// a 16 x 16 square of texture widths at every size up to 8192, which are
// walked exactly, and keeps a face with wild UVs from running for hours.
constexpr double kMaxWalkIntervals = 2.0 * 8192.0 * 16.0 * 1.4142135623730951 + 2.0;

// Builds a new size x size table from the face records of the plug-in state.
// Returns null when size is below 1, when the table would not fit in memory
// or cannot be allocated. The caller owns the table and frees it with
// FreeTexelTable.
TexelEntry* BuildTexelTable(int32_t size);
void FreeTexelTable(TexelEntry* table);
