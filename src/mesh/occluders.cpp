#include "mesh/occluders.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

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

// The same sum, in the same order, as DotProduct; inline so that the
// hierarchy's inner loop does not pay a call per product.
inline double Dot(const Vec3& a, const Vec3& b) {
  return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}

// The hits the query accepts lie in [0, kFarthestHit).
constexpr float kFarthestHit = 9999.9f;

// The triangle test from V0 and the two edges e1 = V1 - V0, e2 = V2 - V0 as
// the test itself rounds them. IntersectRayTriangle and the hierarchy (which
// keeps the edges of every triangle) both run this one body, so they agree
// bit for bit by construction.
inline bool IntersectFromEdges(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                               const Vec3& e1, const Vec3& e2, float* t, float* u, float* v) {
  const Vec3 p = Cross(direction, e2);
  // det, u, v and t are 32-bit values; the reciprocal stays double.
  const float det = RoundToFloat(Dot(e1, p));
  if (!(double(det) > 0.001)) return false;
  const Vec3 s = Sub(origin, v0);
  const float uu = RoundToFloat(Dot(s, p));
  if (uu < 0.0f || uu > det) return false;
  const Vec3 q = Cross(s, e1);
  const float vv = RoundToFloat(Dot(direction, q));
  if (vv < 0.0f || double(uu) + double(vv) > double(det)) return false;
  const double inv = 1.0 / double(det);
  if (t != nullptr) *t = RoundToFloat(Dot(e2, q) * inv);
  if (u != nullptr) *u = RoundToFloat(uu * inv);
  if (v != nullptr) *v = RoundToFloat(vv * inv);
  return true;
}

// ---------------------------------------------------------------------------
// The hierarchy.
//
// Which float the query returns. The scan keeps a hit when t >= 0 and
// t < best, so it returns the smallest accepted t; only a zero can tie
// with a different bit pattern (+0 and -0 compare equal), and then the scan
// keeps the zero of the lowest array index. The hierarchy visits triangles
// in any order and keeps (t, index) by the same rule: a smaller t wins, and
// among zeros the lower index. So the answer is the scan's as long as no
// triangle that could be accepted with t <= best is skipped.
//
// When a box may be skipped. Notation: u = 2^-24 (float rounding), u_d =
// 2^-53 (double); |.| Euclidean; l the longest edge of a triangle; S_max an
// upper bound of |O - V0|; n = e2 x e1 for the edges as the test rounds them,
// so that the exact determinant of those edges is det^ = e1.(D x e2) = D.n.
//
// The test rounds e1 = V1 - V0, e2 = V2 - V0 and S = O - V0 to float: the
// perturbed triangle T' = (V0, V0 + e1, V0 + e2) has corners within u l of
// the true ones, and O' = V0 + S lies within u |O - V0| of O. For T', O' and
// D the exact Moller-Trumbore identity holds:
//     O' + t^ D = a V0 + b (V0 + e1) + c (V0 + e2),
//     b = u^/det^, c = v^/det^, a = 1 - b - c, t^ = (e2.Q^)/det^,
// with u^, v^, Q^ the exact values of the test's formulas. Each computed
// value differs from its exact one by the rounding of its products' sum and
// of its inputs; P = D x e2 is rounded per component, so |P - P^| <=
// (u + 2u_d)|P^| <= (u + 2u_d)|D||e2|, and likewise Q. By Cauchy-Schwarz,
// with |u_f| <= det_f and |v_f| <= det_f on acceptance,
//     |u_f - u^|     <= k |S||D||e2|  + k det_f,
//     |v_f - v^|     <= k |D||S||e1|  + k det_f,
//     |det_f - det^| <= k |e1||D||e2| + k det_f   (so <= B + k det_f),
//     |w_d - e2.Q^|  <= k |e2||S||e1|,
// where k = u (1 + 2^-20) covers every (1 + u)(1 + few u_d) factor,
// B = k |D| l^2, and subnormal results add absolute terms far below 1e-29.
//
// Determinant. det_f <= (det^ + B)/(1 - k): a box whose largest D.n plus B
// is at most 0.001 (1 - k) holds no triangle that passes the threshold
// (this culls back faces). Otherwise every accepted triangle has det_f >= d
// for any d <= max(0.001, (min D.n - B)/(1 + k)); the power of two below
// that is used, as its reciprocal is exact.
//
// Lateral reach. Acceptance (0 <= u_f <= det_f, v_f >= 0, u_f + v_f <=
// det_f) bounds the sum of the negative weights among a, b, c (at most two
// are negative, and the three errors above enter the sum at most once each):
//     neg <= (k|D| l (2 S_max + l) + 3k det_f) / (det_f (1 - k) - B),
// which falls as det_f grows, so its value at det_f = d bounds it; with
// x = k + B/d <= 1/2 the denominator is d (1 - x) and 1/(1 - x) <= 1 + 2x.
// The point Y = O' + t^ D is the affine combination of T' with those
// weights; moving the negative weights onto the positive ones moves it by at
// most neg diam(T') <= neg l (1 + 2u) onto a point of T'. Adding the
// distance of T' from the true triangle and of O' from O, the point
// O + t^ D lies within
//     r = neg l (1 + 2k) + k (S_max + l)
// of the triangle, hence in its corner box grown by r.
//
// Parameter. t_f = round(w_d * (1/det_f)) against t^:
//     |t_f - t^| <= A0 + A1 |t^|,  A0 = k l^2 S_max (1 + k) / d,
//     A1 = (B/d + k)(1 + k) + k,
// so with t_f in [0, best] and A1 < 1/2, t^ lies in [-E, best + E] for
//     E = 2 (A0 + A1 best).
//
// So a box grown by r that the ray O + s D does not meet for any s in
// [-E, best + E] holds no triangle accepted with t_f <= best, and is skipped.
// When x > 1/2, or A1 >= 1/2, rounding could let any triangle of the box
// pass, and the box is entered. All bounds grow with l, S_max and |D| and
// shrink with d, so a subtree uses the largest edge below it, a range of
// D.n that holds every n below it (from a ball around its normals), and
// S_max of its own corner box: S_max = sum over axes of
// max(|O_i - lo_i|, |O_i - hi_i|) >= |O - V0|.
// The query evaluates the bound and the slab test in float with margins
// that exceed their own rounding (see "Querying" below), so the computed
// box interval always contains the exact one.
//
// Range of the proof: all values finite and no float overflow, which holds
// when every coordinate and direction component is at most 2^40 in
// magnitude. Triangles beyond that (or with a non-finite corner) are kept
// in a plain list tested on every query; rays beyond it are answered by the
// scan. A triangle whose three corners are equal has e1 = e2 = 0 and so
// det = 0 for every in-range ray; it is left out.
// ---------------------------------------------------------------------------

// One triangle as the test sees it: V0 = corner c, e1 = b - c, e2 = a - c.
struct PreparedTriangle {
  Vec3 v0;
  Vec3 e1;
  Vec3 e2;
};

// A link to a subtree: an inner node's index, or a leaf, kLeafBit |
// (count - 1) << kCountShift | first triangle, or kEmptyLink.
constexpr uint32_t kLeafBit = 0x80000000u;
constexpr int kCountShift = 27;
constexpr uint32_t kFirstMask = (1u << kCountShift) - 1;
constexpr uint32_t kEmptyLink = 0xFFFFFFFFu;  // a leaf of 16 past the last triangle: never real
constexpr int32_t kLeafTarget = 8;            // larger leaves are always split (the count bits hold 16)

// A node of the binary tree the builder makes: what testing its two
// children needs, each field as a pair [first child, second child].
struct BvhNode {
  float lo[3][2];      // corner box
  float hi[3][2];
  float normal[6][2];  // box of n = e2 x e1 below: low x, y, z, then high x, y, z
  float edge[2];       // at least the longest edge of any triangle below
  uint32_t link[2];
};

// A node of the tree the query walks: what testing its eight children
// needs, each field as eight lanes, read four at a time. The normals n
// below a child lie in a ball: |n - axis| <= spread, where spread also
// holds the slack for the float evaluation of D.axis +- |D| spread (see
// the query). Six cache lines. Eight-way nodes make the walk half as deep
// as a binary tree's; each level's tests form one long chain of dependent
// steps, so fewer levels are faster even though more boxes are tested.
constexpr int kWidth = 8;
struct alignas(64) WideNode {
  float lo[3][kWidth];
  float hi[3][kWidth];
  float axis[3][kWidth];
  float spread[kWidth];
  float edge[kWidth];
  uint32_t link[kWidth];  // kEmptyLink for an unused slot
};
static_assert(sizeof(WideNode) == 384, "six cache lines per node");

// Coordinates and direction components covered by the rounding bounds.
constexpr double kRangeLimit = 1099511627776.0;  // 2^40

constexpr double kUnit = 5.9604644775390625e-08;           // 2^-24
constexpr double kK = kUnit * (1.0 + 9.5367431640625e-07);  // u (1 + 2^-20)
constexpr double kThreshold = 0.001;                        // the test's, as a double
constexpr double kTinyAbsolute = 1e-29;                     // subnormal terms, generously
constexpr double kMargin50 = 8.8817841970012523e-16;        // 2^-50
constexpr double kMargin40 = 9.094947017729282e-13;         // 2^-40
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The cull bound 0.001 (1 - k), rounded down.
constexpr double kCullLimit = kThreshold * (1.0 - 2.0 * kK);

// Each level of the walk leaves at most three children waiting.
constexpr int kStackSize = (kWidth - 1) * 80;
constexpr int kMedianDepth = 48;  // below this, splits halve: depth stays under 48 + 28

}  // namespace

struct OccluderBvh {
  const OccluderTriangle* source;  // the array and count it was built from
  int32_t sourceCount;
  WideNode* nodes;          // inner nodes; the root is nodes[0]
  int32_t nodeCount;
  int32_t leafCount;
  int32_t depth;
  PreparedTriangle* boxed;  // leaf order
  int32_t* boxedIndex;      // array index of each
  int32_t boxedCount;
  PreparedTriangle* plain;  // tested on every query
  int32_t* plainIndex;
  int32_t plainCount;
  int32_t skippedCount;
};

namespace {

std::atomic<int32_t> g_liveBvhs{0};
std::atomic<int32_t> g_modeOverride{-1};
std::atomic<bool> g_margins{true};

OccluderQueryMode ModeFromEnvironment() {
  const char* value = std::getenv("TAMSINK_LINEAR_SCAN");
  return value != nullptr && std::strcmp(value, "1") == 0 ? OccluderQueryMode::kLinearScan
                                                          : OccluderQueryMode::kHierarchy;
}

void FreeBvh(OccluderBvh* bvh) {
  if (bvh == nullptr) return;
  delete[] bvh->nodes;
  delete[] bvh->boxed;
  delete[] bvh->boxedIndex;
  delete[] bvh->plain;
  delete[] bvh->plainIndex;
  delete bvh;
  g_liveBvhs.fetch_sub(1, std::memory_order_relaxed);
}

bool InRange(float value) { return std::fabs(double(value)) <= kRangeLimit; }  // false for NaN

bool TriangleInRange(const OccluderTriangle& t) {
  for (const Vec3& c : t.corners)
    if (!InRange(c.x) || !InRange(c.y) || !InRange(c.z)) return false;
  return true;
}

bool SamePoint(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

bool IsPointTriangle(const OccluderTriangle& t) {
  return SamePoint(t.corners[0], t.corners[1]) && SamePoint(t.corners[1], t.corners[2]);
}

PreparedTriangle Prepare(const OccluderTriangle& t) {
  const Vec3* c = t.corners;
  // V0 = c, V1 = b, V2 = a: the triangle is hit from the side its normal faces.
  return PreparedTriangle{c[2], Sub(c[1], c[2]), Sub(c[0], c[2])};
}

// The float at or above / below a double.
float FloatAbove(double x) {
  float f = static_cast<float>(x);
  if (double(f) < x) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

// The same for the positive values of a query's ray frame, without a call:
// rounding to nearest lands below x by less than one step, so one step up
// (the next bit pattern, for a positive float) is at or above it.
inline float PositiveFloatAbove(double x) {
  float f = static_cast<float>(x);
  if (double(f) < x) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    ++bits;
    std::memcpy(&f, &bits, sizeof f);
  }
  return f;
}
float FloatBelow(double x) {
  float f = static_cast<float>(x);
  if (double(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}

// An upper bound of |a - b|.
double EdgeLengthAbove(const Vec3& a, const Vec3& b) {
  const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz) * (1.0 + kMargin40);
}

// ---------------------------------------------------------------------------
// Building: binned surface-area heuristic over the triangles' corner boxes,
// split at bin boundaries of the box centres. Boxes, normal boxes and edges
// are gathered bottom-up.

// Corner boxes as four-lane vectors (x, y, z, unused), so that growing a
// bin is one minimum and one maximum.
typedef float Quad __attribute__((vector_size(16)));
typedef int32_t IntQuad __attribute__((vector_size(16)));

inline Quad MinQuad(Quad a, Quad b) { return a < b ? a : b; }
inline Quad MaxQuad(Quad a, Quad b) { return a > b ? a : b; }

struct BuildRef {
  Quad lo;
  Quad hi;
  int32_t index;  // array index of the triangle
};

inline Quad Centre(const BuildRef& r) { return (r.lo + r.hi) * 0.5f; }

struct Box {
  Quad lo;
  Quad hi;
};

void EmptyBox(Box& b) {
  const float inf = std::numeric_limits<float>::infinity();
  b.lo = Quad{inf, inf, inf, inf};
  b.hi = Quad{-inf, -inf, -inf, -inf};
}

inline void GrowBox(Box& b, Quad lo, Quad hi) {
  b.lo = MinQuad(b.lo, lo);
  b.hi = MaxQuad(b.hi, hi);
}

double HalfArea(const Box& b) {
  const double dx = double(b.hi[0]) - b.lo[0], dy = double(b.hi[1]) - b.lo[1],
               dz = double(b.hi[2]) - b.lo[2];
  if (!(dx >= 0.0)) return 0.0;  // empty
  return dx * dy + dy * dz + dz * dx;
}

constexpr int kBins = 16;
// Costs of testing a pair of children and of one triangle test.
constexpr double kNodeCost = 4.0;
constexpr double kTriangleCost = 1.0;

// What a parent stores about one child.
struct Subtree {
  Box box;
  float normal[6];
  float edge;
  uint32_t link;
};

void StoreChild(BvhNode& node, int slot, const Subtree& child) {
  for (int k = 0; k < 3; ++k) {
    node.lo[k][slot] = child.box.lo[k];
    node.hi[k][slot] = child.box.hi[k];
  }
  for (int k = 0; k < 6; ++k) node.normal[k][slot] = child.normal[k];
  node.edge[slot] = child.edge;
  node.link[slot] = child.link;
}

// Subtrees of fewer triangles are built on the thread that splits them off:
// below this a thread costs more than it saves.
constexpr int32_t kParallelBuildMinimum = 16384;

// Builds depth first. A subtree over refs [begin, end) whose inner node
// lands at index i takes the boxed slots [begin, end) and at most
// end - begin - 1 node indices from i on, whatever its shape; so the second
// child of a split can be built on another thread into the slots and
// indices the first child cannot reach (the first takes at most
// mid - begin - 1 indices from i + 1, so the second starts at i + mid - begin),
// and the tree is the one the single thread builds, in a different node
// order. The collapse reads it by its links, so the walked tree is the same
// byte for byte.
struct Builder {
  BuildRef* refs;
  const OccluderTriangle* source;
  BvhNode* nodes;
  int32_t nodeCount;  // the next node index to take
  PreparedTriangle* boxed;
  int32_t* boxedIndex;
  int32_t boxedNext;
  int32_t leafCount;
  int32_t depth;
  int32_t innerCount;  // nodes taken, here and by the threads joined

  Subtree MakeLeaf(int32_t begin, int32_t end) {
    Subtree leaf;
    const int32_t first = boxedNext;
    EmptyBox(leaf.box);
    double edge = 0.0;
    for (int k = 0; k < 3; ++k) {
      leaf.normal[k] = std::numeric_limits<float>::infinity();
      leaf.normal[3 + k] = -std::numeric_limits<float>::infinity();
    }
    for (int32_t i = begin; i < end; ++i) {
      const OccluderTriangle& t = source[refs[i].index];
      const PreparedTriangle p = Prepare(t);
      GrowBox(leaf.box, refs[i].lo, refs[i].hi);
      edge = std::max({edge, EdgeLengthAbove(t.corners[0], t.corners[1]),
                       EdgeLengthAbove(t.corners[1], t.corners[2]),
                       EdgeLengthAbove(t.corners[2], t.corners[0])});
      // n = e2 x e1: float products are exact in double, each difference is
      // rounded once; the stored box is widened past that rounding.
      const double n[3] = {double(p.e2.y) * p.e1.z - double(p.e2.z) * p.e1.y,
                           double(p.e2.z) * p.e1.x - double(p.e2.x) * p.e1.z,
                           double(p.e2.x) * p.e1.y - double(p.e2.y) * p.e1.x};
      for (int k = 0; k < 3; ++k) {
        const double slack = std::fabs(n[k]) * kMargin50;
        leaf.normal[k] = std::min(leaf.normal[k], FloatBelow(n[k] - slack));
        leaf.normal[3 + k] = std::max(leaf.normal[3 + k], FloatAbove(n[k] + slack));
      }
      boxed[boxedNext] = p;
      boxedIndex[boxedNext] = refs[i].index;
      ++boxedNext;
    }
    leaf.edge = FloatAbove(edge);
    leaf.link = kLeafBit | uint32_t(end - begin - 1) << kCountShift | uint32_t(first);
    ++leafCount;
    return leaf;
  }

  // Splits [begin, end) at its median along the axis of widest centre spread.
  int32_t MedianSplit(int32_t begin, int32_t end, const Box& centres) {
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (double(centres.hi[k]) - centres.lo[k] > double(centres.hi[axis]) - centres.lo[axis])
        axis = k;
    const int32_t mid = begin + (end - begin) / 2;
    std::nth_element(refs + begin, refs + mid, refs + end,
                     [axis](const BuildRef& a, const BuildRef& b) {
                       return Centre(a)[axis] < Centre(b)[axis];
                     });
    return mid;
  }

  // The SAH split of [begin, end) (partitioned, with the centre bounds of
  // both sides), or -1 when a leaf is cheaper or no bin boundary separates
  // the centres.
  int32_t SahSplit(int32_t begin, int32_t end, const Box& centres, Box& leftCentres,
                   Box& rightCentres) {
    const int32_t n = end - begin;
    // Bin positions in float: they only choose the split, and the count and
    // the partition compute them alike. An axis whose spread is too small
    // for a finite float scale is not split along.
    float scaleLanes[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool usable[3];
    bool any = false;
    for (int axis = 0; axis < 3; ++axis) {
      const double extent = double(centres.hi[axis]) - centres.lo[axis];
      const double scale = extent > 0.0 ? kBins / extent * (1.0 - 1e-6) : 0.0;
      usable[axis] = extent > 0.0 && scale < 1e30;
      any = any || usable[axis];
      scaleLanes[axis] = usable[axis] ? static_cast<float>(scale) : 0.0f;
    }
    if (!any) return -1;
    Quad scale;
    std::memcpy(&scale, scaleLanes, sizeof scale);
    const Quad origin = centres.lo;
    const IntQuad lastBin = IntQuad{kBins - 1, kBins - 1, kBins - 1, kBins - 1};
    const IntQuad firstBin = IntQuad{0, 0, 0, 0};
    auto binsOf = [&](const BuildRef& r) {
      Quad position = (Centre(r) - origin) * scale;
      position = MaxQuad(MinQuad(position, Quad{15.5f, 15.5f, 15.5f, 15.5f}), Quad{0, 0, 0, 0});
      IntQuad bins = __builtin_convertvector(position, IntQuad);
      bins = bins < firstBin ? firstBin : bins;
      return bins > lastBin ? lastBin : bins;
    };
    int32_t counts[3][kBins] = {};
    Box boxes[3][kBins];
    for (auto& axisBoxes : boxes)
      for (Box& b : axisBoxes) EmptyBox(b);
    for (int32_t i = begin; i < end; ++i) {
      const BuildRef& r = refs[i];
      const IntQuad bins = binsOf(r);
      for (int axis = 0; axis < 3; ++axis) {
        ++counts[axis][bins[axis]];
        GrowBox(boxes[axis][bins[axis]], r.lo, r.hi);
      }
    }
    double bestCost = std::numeric_limits<double>::infinity();
    double parentArea = 0.0;
    int bestAxis = -1, bestBin = 0;
    for (int axis = 0; axis < 3; ++axis) {
      if (!usable[axis]) continue;
      double rightArea[kBins];
      int32_t rightCount[kBins];
      Box acc;
      EmptyBox(acc);
      int32_t count = 0;
      for (int b = kBins - 1; b > 0; --b) {
        GrowBox(acc, boxes[axis][b].lo, boxes[axis][b].hi);
        count += counts[axis][b];
        rightArea[b] = HalfArea(acc);
        rightCount[b] = count;
      }
      EmptyBox(acc);
      count = 0;
      for (int b = 1; b < kBins; ++b) {
        GrowBox(acc, boxes[axis][b - 1].lo, boxes[axis][b - 1].hi);
        count += counts[axis][b - 1];
        if (count == 0 || rightCount[b] == 0) continue;
        const double cost = HalfArea(acc) * count + rightArea[b] * rightCount[b];
        if (cost < bestCost) {
          bestCost = cost;
          bestAxis = axis;
          bestBin = b;
        }
      }
      GrowBox(acc, boxes[axis][kBins - 1].lo, boxes[axis][kBins - 1].hi);
      parentArea = HalfArea(acc);
    }
    if (bestAxis < 0) return -1;
    const double splitCost =
        kNodeCost + (parentArea > 0.0 ? bestCost / parentArea : double(n)) * kTriangleCost;
    if (n <= kLeafTarget && splitCost >= n * kTriangleCost) return -1;

    EmptyBox(leftCentres);
    EmptyBox(rightCentres);
    int32_t i = begin, j = end;
    while (i < j) {
      const Quad c = Centre(refs[i]);
      if (binsOf(refs[i])[bestAxis] < bestBin) {
        GrowBox(leftCentres, c, c);
        ++i;
      } else {
        --j;
        std::swap(refs[i], refs[j]);
        GrowBox(rightCentres, c, c);
      }
    }
    return i;
  }

  // Builds the children of the node at `index` side by side, the second on
  // a thread of its own. Returns false, having built nothing, when no
  // thread can be started.
  bool BuildApart(int32_t begin, int32_t mid, int32_t end, int32_t index, const Box& leftCentres,
                  const Box& rightCentres, int32_t level, int threads, Subtree& a, Subtree& b) {
    Builder second{refs, source, nodes, index + (mid - begin), boxed, boxedIndex, mid, 0, 0, 0};
    const int secondThreads = threads / 2;
    std::thread worker;
    try {
      worker = std::thread([&] {
        b = second.Build(mid, end, rightCentres, level + 1, secondThreads);
      });
    } catch (const std::system_error&) {
      return false;
    }
    a = Build(begin, mid, leftCentres, level + 1, threads - secondThreads);
    worker.join();
    boxedNext = second.boxedNext;
    leafCount += second.leafCount;
    depth = std::max(depth, second.depth);
    innerCount += second.innerCount;
    nodeCount = std::max(nodeCount, second.nodeCount);
    return true;
  }

  static Box CentreBounds(const BuildRef* refs, int32_t begin, int32_t end) {
    Box b;
    EmptyBox(b);
    for (int32_t i = begin; i < end; ++i) GrowBox(b, Centre(refs[i]), Centre(refs[i]));
    return b;
  }

  // Builds the subtree of [begin, end): a leaf, or an inner node at
  // nodes[nodeCount] (depth first, so a node's first inner child follows
  // it), on up to `threads` threads, this one included.
  Subtree Build(int32_t begin, int32_t end, const Box& centres, int32_t level, int threads = 1) {
    depth = std::max(depth, level);
    const int32_t n = end - begin;
    int32_t mid = -1;
    Box leftCentres, rightCentres;
    if (n > 1) {
      if (level < kMedianDepth) mid = SahSplit(begin, end, centres, leftCentres, rightCentres);
      if (mid < 0 && n > kLeafTarget) {
        mid = MedianSplit(begin, end, centres);
        leftCentres = CentreBounds(refs, begin, mid);
        rightCentres = CentreBounds(refs, mid, end);
      }
    }
    if (mid < 0) return MakeLeaf(begin, end);
    const int32_t index = nodeCount++;
    ++innerCount;
    Subtree a, b;
    if (threads < 2 || mid - begin < kParallelBuildMinimum || end - mid < kParallelBuildMinimum ||
        !BuildApart(begin, mid, end, index, leftCentres, rightCentres, level, threads, a, b)) {
      a = Build(begin, mid, leftCentres, level + 1, threads);
      b = Build(mid, end, rightCentres, level + 1, threads);
    }
    BvhNode& node = nodes[index];
    StoreChild(node, 0, a);
    StoreChild(node, 1, b);
    Subtree whole;
    whole.box.lo = MinQuad(a.box.lo, b.box.lo);
    whole.box.hi = MaxQuad(a.box.hi, b.box.hi);
    for (int k = 0; k < 3; ++k) {
      whole.normal[k] = std::min(a.normal[k], b.normal[k]);
      whole.normal[3 + k] = std::max(a.normal[3 + k], b.normal[3 + k]);
    }
    whole.edge = std::max(a.edge, b.edge);
    whole.link = uint32_t(index);
    return whole;
  }
};

// ---------------------------------------------------------------------------
// Collapsing: the binary tree the builder makes becomes a tree of
// kWidth-way nodes, each node pulling up the grandchildren of its largest
// inner children until it has kWidth of them (or only leaves).

struct Collapser {
  const BvhNode* binary;
  WideNode* wide;
  int32_t wideCount;
  int32_t depth;

  // A child slot of a binary node.
  struct Slot {
    int32_t node;
    int slot;
  };

  static double SlotArea(const BvhNode& n, int s) {
    const double dx = double(n.hi[0][s]) - n.lo[0][s], dy = double(n.hi[1][s]) - n.lo[1][s],
                 dz = double(n.hi[2][s]) - n.lo[2][s];
    return dx * dy + dy * dz + dz * dx;
  }

  static bool IsInner(uint32_t link) { return link != kEmptyLink && (link & kLeafBit) == 0; }

  // The ball around the centre of a child's normal box that holds the box,
  // its radius rounded up and widened by 2^-17 (|axis| + radius) for the
  // query's rounding.
  static void StoreNormalBall(WideNode& w, int lane, const BvhNode& n, int s) {
    double squared = 0.0, axisSquared = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double lo = n.normal[k][s], hi = n.normal[3 + k][s];
      const float axis = static_cast<float>(0.5 * lo + 0.5 * hi);
      w.axis[k][lane] = axis;
      const double reach = std::max(std::fabs(lo - axis), std::fabs(hi - axis));
      squared += reach * reach;
      axisSquared += double(axis) * axis;
    }
    const double radius = std::sqrt(squared) * (1.0 + kMargin40);
    const double axisLength = std::sqrt(axisSquared) * (1.0 + kMargin40);
    w.spread[lane] = FloatAbove((radius + 7.62939453125e-06 * (axisLength + radius)) *
                                (1.0 + kMargin40));
  }

  // Makes the wide node for binary node b (depth first, like the builder)
  // and returns its index.
  uint32_t Collapse(int32_t b, int32_t level) {
    depth = std::max(depth, level + 1);
    Slot slots[kWidth] = {{b, 0}, {b, 1}};
    int count = 2;
    while (count < kWidth) {
      int widest = -1;
      double widestArea = -1.0;
      for (int i = 0; i < count; ++i) {
        const BvhNode& n = binary[slots[i].node];
        if (!IsInner(n.link[slots[i].slot])) continue;
        const double area = SlotArea(n, slots[i].slot);
        if (area > widestArea) {
          widestArea = area;
          widest = i;
        }
      }
      if (widest < 0) break;
      const int32_t child = int32_t(binary[slots[widest].node].link[slots[widest].slot]);
      slots[widest] = Slot{child, 0};
      slots[count++] = Slot{child, 1};
    }
    const int32_t index = wideCount++;
    // Filled after the subtrees, which follow it in the array.
    uint32_t links[kWidth];
    for (int i = 0; i < count; ++i) {
      const uint32_t link = binary[slots[i].node].link[slots[i].slot];
      links[i] = IsInner(link) ? Collapse(int32_t(link), level + 1) : link;
    }
    WideNode& w = wide[index];
    std::memset(static_cast<void*>(&w), 0, sizeof w);
    for (int i = 0; i < kWidth; ++i) {
      if (i >= count) {
        w.link[i] = kEmptyLink;
        continue;
      }
      const BvhNode& n = binary[slots[i].node];
      const int s = slots[i].slot;
      for (int k = 0; k < 3; ++k) {
        w.lo[k][i] = n.lo[k][s];
        w.hi[k][i] = n.hi[k][s];
      }
      StoreNormalBall(w, i, n, s);
      w.edge[i] = n.edge[s];
      w.link[i] = links[i];
    }
    return uint32_t(index);
  }
};

// ---------------------------------------------------------------------------
// Querying: the children of a node are tested four at a time, in the four
// lanes of a float vector (SSE on x86-64, plain code elsewhere).
//
// The bounds above are evaluated here in float. Every step rounds its
// result by at most u = 2^-24 relative (or 2^-149 absolute below the normal
// range), so each bound is made safe by
//  - a factor of 1 + 2^-18 (64 u) after every chain of at most a dozen
//    operations on non-negative values: the chain's own rounding is below
//    13 u;
//  - for the signed bounds D.axis -+ |D| spread of D.n, the widening of
//    the spread by 2^-17 (|axis| + radius) at build time: the dot product's
//    rounding is below 6 u |D| |axis|, the sums' below 2 u |D| (|axis| +
//    spread);
//  - absolute terms (1e-29 in the lateral reach, 1e-36 elsewhere) that
//    cover underflow;
//  - slab bounds moved outwards by 2^-18 of their size (their own
//    rounding is at most 4 u) and the padding r/|D_i| rounded up alike.
// No value overflows: with coordinates and direction components at most
// 2^40, and direction components either 0 or at least 2^-40 in magnitude
// (smaller ones are treated below), every product is below 2^125, and an
// infinite r (from an unbounded x) only widens boxes to the whole space.

constexpr float kUp = 1.0f + 3.814697265625e-06f;  // 1 + 2^-18
constexpr float kRelative = 3.814697265625e-06f;   // 2^-18
constexpr float kKf = 5.96047e-08f * (1.0f + 3.814697265625e-06f);  // above k
static_assert(double(kKf) > kK, "k rounded up");
// 0.001 (1 - k), lowered past the rounding of the cull test's sum.
constexpr float kCullLimitF = 0.001f * (1.0f - 7.62939453125e-06f);
static_assert(double(kCullLimitF) < kCullLimit, "cull limit rounded down");
// (1 - k)(1 - 2^-18), rounded down.
constexpr float kLowerFactor = 1.0f - 7.62939453125e-06f;
static_assert(double(kLowerFactor) < (1.0 - kK) * (1.0 - 3.814697265625e-06), "factor rounded down");
constexpr float kLateralTiny = 1e-29f;
constexpr float kTiny = 1e-36f;
constexpr float kInfinityF = std::numeric_limits<float>::infinity();
// Direction components below this (in magnitude) are not divided by.
constexpr float kSlowAxis = 9.094947017729282e-13f;  // 2^-40

struct RayFrame {
  float origin[3];
  float direction[3];
  float inverse[3];     // 1 / D_i, rounded; unused on slow axes
  float padScale[3];    // |1 / D_i| (1 + 2^-18), rounded up
  bool slow[3];         // |D_i| < 2^-40, zero included: no slab test
  float length;         // |D|, rounded up
  float kd;             // k |D|, rounded up
  bool margins;
};

// The answer being gathered: the smallest accepted t, and among zeros the
// one of the lowest array index (the one the scan keeps).
struct Nearest {
  float best = kFarthestHit;
  bool found = false;
  int32_t zeroIndex = std::numeric_limits<int32_t>::max();

  void Consider(const Vec3& origin, const Vec3& direction, const PreparedTriangle& tri,
                const int32_t* indices, int32_t at) {
    float t;
    if (!IntersectFromEdges(origin, direction, tri.v0, tri.e1, tri.e2, &t, nullptr, nullptr) ||
        !(t >= 0.0f))
      return;
    if (t < best) {
      best = t;
      found = true;
      if (t == 0.0f) zeroIndex = indices[at];
    } else if (t == 0.0f && best == 0.0f && indices[at] < zeroIndex) {
      best = t;
      zeroIndex = indices[at];
    }
  }
  float Result() const { return found ? best : 0.0f; }
};

bool RayInRange(const Vec3& o, const Vec3& d) {
  return InRange(o.x) && InRange(o.y) && InRange(o.z) && InRange(d.x) && InRange(d.y) &&
         InRange(d.z);
}

// The scan's answer when it is below limit, else 0.
float LinearNearestBelow(const Vec3& origin, const Vec3& direction, float limit) {
  const float t = NearestHitDistanceLinear(origin, direction);
  return t < limit ? t : 0.0f;
}

// Starts loading what visiting a link will read (a node, or a leaf's
// triangles) while the current tests run: the rays of a bake are not
// coherent, and the hierarchy of a large set does not fit in the caches.
inline void Prefetch(const OccluderBvh& bvh, uint32_t link) {
  if (link & kLeafBit) {
    const char* first = reinterpret_cast<const char*>(bvh.boxed + (link & kFirstMask));
    __builtin_prefetch(first);
    __builtin_prefetch(first + 64);
  } else {
    const char* node = reinterpret_cast<const char*>(bvh.nodes + link);
    for (int line = 0; line < int(sizeof(WideNode)); line += 64) __builtin_prefetch(node + line);
  }
}


// The eight-lane walk is built by GCC for x86-64 outside Windows: there
// the stack is not kept aligned for 32-byte values, which GCC's spills of
// them assume.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(_WIN32)
#define TAMSINK_WALK_AVX2 1
#endif

// The walk, for two lane widths: four (SSE, everywhere on x86-64) and, on
// x86-64 processors that have them, eight (AVX2), chosen once at run time.
// Both prune by the same bounds and test triangles in the same double
// arithmetic, so their answers are the same floats.
namespace lanes4 {
#define TAMSINK_LANES 4
#include "mesh/occluder_walk.inc"
#undef TAMSINK_LANES
}  // namespace lanes4

#if defined(TAMSINK_WALK_AVX2)
#pragma GCC push_options
#pragma GCC target("avx2")
namespace lanes8 {
#define TAMSINK_LANES 8
#include "mesh/occluder_walk.inc"
#undef TAMSINK_LANES
}  // namespace lanes8
#pragma GCC pop_options
#endif

std::atomic<bool> g_fourLanesOnly{false};

bool UseWideLanes() {
#if defined(TAMSINK_WALK_AVX2)
  if (g_fourLanesOnly.load(std::memory_order_relaxed)) return false;
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return supported;
#else
  return false;
#endif
}

void HierarchyNearestMany(const OccluderBvh& bvh, const Vec3* origins, const Vec3* directions,
                          int count, float limit, float* results) {
#if defined(TAMSINK_WALK_AVX2)
  if (UseWideLanes()) return lanes8::HierarchyNearestMany(bvh, origins, directions, count, limit, results);
#endif
  lanes4::HierarchyNearestMany(bvh, origins, directions, count, limit, results);
}

const OccluderBvh* UsableBvh() {
  const OccluderBvh* bvh = g_plugin.occluderBvh;
  if (bvh == nullptr || bvh->source != g_plugin.occluders ||
      bvh->sourceCount != g_plugin.occluderCount)
    return nullptr;
  return bvh;
}

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

bool BuildOccluderSet(int threads) {
  const int32_t n = CountOccluderTriangles();
  g_plugin.occluderCount = n;
  // The hierarchy of the old array goes in every case: nothing may answer
  // from it once the count has changed.
  ReleaseOccluderBvh();
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
  BuildOccluderBvh(threads);
  return true;
}

void ReleaseOccluderSet() {
  ReleaseOccluderBvh();
  delete[] g_plugin.occluders;
  g_plugin.occluders = nullptr;
  g_plugin.occluderCount = 0;
}

void ReleaseOccluderBvh() {
  FreeBvh(g_plugin.occluderBvh);
  g_plugin.occluderBvh = nullptr;
}

void BuildOccluderBvh(int threads) {
  ReleaseOccluderBvh();
  const OccluderTriangle* source = g_plugin.occluders;
  const int32_t n = source != nullptr ? g_plugin.occluderCount : 0;
  if (n <= 0) return;

  OccluderBvh* bvh = new (std::nothrow) OccluderBvh{};
  if (bvh == nullptr) return;
  g_liveBvhs.fetch_add(1, std::memory_order_relaxed);
  bvh->source = source;
  bvh->sourceCount = n;

  // Sort the triangles into the three kinds.
  int32_t plain = 0, skipped = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (!TriangleInRange(source[i]))
      ++plain;
    else if (IsPointTriangle(source[i]))
      ++skipped;
  }
  const int32_t boxedCount = n - plain - skipped;
  // The leaf encoding addresses 2^27 triangles; a larger set is scanned.
  if (boxedCount > int32_t(kFirstMask)) {
    FreeBvh(bvh);
    return;
  }
  const size_t boxedSize = static_cast<size_t>(boxedCount);
  // At most n - 1 inner nodes (and one for a root that is a leaf); the
  // pages past those used are never touched.
  const size_t nodeCapacity = boxedSize > 1 ? boxedSize - 1 : boxedSize;
  BuildRef* refs = new (std::nothrow) BuildRef[boxedSize];
  BvhNode* nodes = new (std::nothrow) BvhNode[nodeCapacity];
  bvh->boxed = new (std::nothrow) PreparedTriangle[boxedSize];
  bvh->boxedIndex = new (std::nothrow) int32_t[boxedSize];
  bvh->plain = new (std::nothrow) PreparedTriangle[static_cast<size_t>(plain)];
  bvh->plainIndex = new (std::nothrow) int32_t[static_cast<size_t>(plain)];
  if (refs == nullptr || nodes == nullptr || bvh->boxed == nullptr ||
      bvh->boxedIndex == nullptr || bvh->plain == nullptr || bvh->plainIndex == nullptr) {
    delete[] refs;
    delete[] nodes;
    FreeBvh(bvh);
    return;
  }

  int32_t nextRef = 0, nextPlain = 0;
  Box centres;
  EmptyBox(centres);
  for (int32_t i = 0; i < n; ++i) {
    if (!TriangleInRange(source[i])) {
      bvh->plain[nextPlain] = Prepare(source[i]);
      bvh->plainIndex[nextPlain] = i;
      ++nextPlain;
      continue;
    }
    if (IsPointTriangle(source[i])) continue;
    const Vec3* c = source[i].corners;
    BuildRef& r = refs[nextRef++];
    const Quad p = Quad{c[0].x, c[0].y, c[0].z, 0.0f}, q = Quad{c[1].x, c[1].y, c[1].z, 0.0f},
               w = Quad{c[2].x, c[2].y, c[2].z, 0.0f};
    r.lo = MinQuad(MinQuad(p, q), w);
    r.hi = MaxQuad(MaxQuad(p, q), w);
    r.index = i;
    GrowBox(centres, Centre(r), Centre(r));
  }
  bvh->plainCount = plain;
  bvh->skippedCount = skipped;
  bvh->boxedCount = boxedCount;

  if (boxedCount > 0) {
    Builder builder{refs, source, nodes, 0, bvh->boxed, bvh->boxedIndex, 0, 0, 0, 0};
    const Subtree root = builder.Build(0, boxedCount, centres, 1, std::max(threads, 1));
    if (root.link & kLeafBit) {
      // A single leaf: a root node whose second child is empty.
      Subtree none = root;
      none.link = kEmptyLink;
      StoreChild(nodes[0], 0, root);
      StoreChild(nodes[0], 1, none);
      builder.innerCount = 1;
    }
    bvh->leafCount = builder.leafCount;
    // Each wide node takes the place of at least one binary node.
    WideNode* wide = new (std::nothrow) WideNode[static_cast<size_t>(builder.innerCount)];
    if (wide == nullptr) {
      delete[] nodes;
      delete[] refs;
      FreeBvh(bvh);
      return;
    }
    Collapser collapser{nodes, wide, 0, 0};
    collapser.Collapse(0, 0);
    delete[] nodes;
    bvh->nodeCount = collapser.wideCount;
    bvh->depth = collapser.depth + 1;  // the leaves' level
    // Keep only the nodes used.
    bvh->nodes = new (std::nothrow) WideNode[static_cast<size_t>(collapser.wideCount)];
    if (bvh->nodes != nullptr) {
      std::memcpy(static_cast<void*>(bvh->nodes), wide,
                  sizeof(WideNode) * static_cast<size_t>(collapser.wideCount));
      delete[] wide;
    } else {
      bvh->nodes = wide;
    }
  } else {
    delete[] nodes;
  }
  delete[] refs;
  g_plugin.occluderBvh = bvh;
}

bool IntersectRayTriangle(const Vec3& origin, const Vec3& direction, const Vec3& v0,
                          const Vec3& v1, const Vec3& v2, float* t, float* u, float* v) {
  return IntersectFromEdges(origin, direction, v0, Sub(v1, v0), Sub(v2, v0), t, u, v);
}

float NearestHitDistanceLinear(const Vec3& origin, const Vec3& direction) {
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

float NearestHitDistance(const Vec3& origin, const Vec3& direction) {
  // Every answer lies below kFarthestHit: no limit.
  return NearestHitWithin(origin, direction, kFarthestHit);
}

float NearestHitWithin(const Vec3& origin, const Vec3& direction, float limit) {
  float result;
  NearestHitsWithin(&origin, &direction, 1, limit, &result);
  return result;
}

void NearestHitsWithin(const Vec3* origins, const Vec3* directions, int count, float limit,
                       float* results) {
  if (count <= 0) return;
  // No t >= 0 lies below a limit that is not above zero (or not a number),
  // and no set yields no hit.
  if (!(limit > 0.0f) || g_plugin.occluders == nullptr || g_plugin.occluderCount <= 0) {
    for (int i = 0; i < count; ++i) results[i] = 0.0f;
    return;
  }
  // Every answer lies below kFarthestHit anyway.
  if (limit > kFarthestHit) limit = kFarthestHit;
  const OccluderBvh* bvh =
      GetOccluderQueryMode() == OccluderQueryMode::kHierarchy ? UsableBvh() : nullptr;
  if (bvh == nullptr) {
    for (int i = 0; i < count; ++i) results[i] = LinearNearestBelow(origins[i], directions[i], limit);
    return;
  }
  HierarchyNearestMany(*bvh, origins, directions, count, limit, results);
}

OccluderQueryMode GetOccluderQueryMode() {
  const int32_t set = g_modeOverride.load(std::memory_order_relaxed);
  if (set >= 0) return static_cast<OccluderQueryMode>(set);
  static const OccluderQueryMode fromEnvironment = ModeFromEnvironment();
  return fromEnvironment;
}

void SetOccluderQueryMode(OccluderQueryMode mode) {
  g_modeOverride.store(static_cast<int32_t>(mode), std::memory_order_relaxed);
}

OccluderBvhInfo DescribeOccluderBvh() {
  OccluderBvhInfo info{};
  const OccluderBvh* bvh = g_plugin.occluderBvh;
  if (bvh == nullptr) return info;
  info.usable = UsableBvh() != nullptr;
  info.nodes = bvh->nodeCount;
  info.leaves = bvh->leafCount;
  info.depth = bvh->depth;
  info.boxedTriangles = bvh->boxedCount;
  info.plainTriangles = bvh->plainCount;
  info.skippedTriangles = bvh->skippedCount;
  info.bytes = sizeof(OccluderBvh) + sizeof(WideNode) * size_t(bvh->nodeCount) +
               (sizeof(PreparedTriangle) + sizeof(int32_t)) *
                   (size_t(bvh->boxedCount) + size_t(bvh->plainCount));
  return info;
}

uint64_t OccluderBvhFingerprint() {
  const OccluderBvh* bvh = g_plugin.occluderBvh;
  if (bvh == nullptr) return 0;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  auto mix = [&hash](const void* data, size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  };
  const int32_t counts[6] = {bvh->nodeCount, bvh->leafCount,  bvh->depth,
                             bvh->boxedCount, bvh->plainCount, bvh->skippedCount};
  mix(counts, sizeof counts);
  mix(bvh->nodes, sizeof(WideNode) * size_t(bvh->nodeCount));
  mix(bvh->boxed, sizeof(PreparedTriangle) * size_t(bvh->boxedCount));
  mix(bvh->boxedIndex, sizeof(int32_t) * size_t(bvh->boxedCount));
  mix(bvh->plain, sizeof(PreparedTriangle) * size_t(bvh->plainCount));
  mix(bvh->plainIndex, sizeof(int32_t) * size_t(bvh->plainCount));
  return hash;
}

int32_t LiveOccluderBvhCount() { return g_liveBvhs.load(std::memory_order_relaxed); }

void SetOccluderBvhMarginsForTesting(bool enabled) {
  g_margins.store(enabled, std::memory_order_relaxed);
}

void SetOccluderWalkFourLanesForTesting(bool fourOnly) {
  g_fourLanesOnly.store(fourOnly, std::memory_order_relaxed);
}

int OccluderWalkLanes() { return UseWideLanes() ? 8 : 4; }
