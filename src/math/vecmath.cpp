#include "math/vecmath.h"

#include <cmath>

Vec3& SetVec3(Vec3& target, float x, float y, float z) {
  target.x = x;
  target.y = y;
  target.z = z;
  return target;
}

Vec3& CopyVec3(Vec3& target, const Vec3& source) {
  const Vec3 copy = source;
  target = copy;
  return target;
}

Vec3& AddVec3(Vec3& result, const Vec3& a, const Vec3& b) {
  const float x = RoundToFloat(double(a.x) + double(b.x));
  const float y = RoundToFloat(double(a.y) + double(b.y));
  const float z = RoundToFloat(double(a.z) + double(b.z));
  return SetVec3(result, x, y, z);
}

double SquaredLength(const Vec3& v) {
  return double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z;
}

double DotProduct(const Vec3& a, const Vec3& b) {
  return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}

namespace {

bool IsNearOne(float value) {
  const double d = double(value) - 1.0;
  return -kFloatEpsilon <= d && d <= kFloatEpsilon;
}

}  // namespace

// The axis is normalised unless it is already within float epsilon of unit
// length; sq is a 32-bit value, the reciprocal root stays double.
//
// Never inlined: GCC 12 at -O3, inlining this into AxisRotationMatrix and
// vectorising the products, kept the normalised x and y in double instead
// of rounding them to float, which changed rotation matrices in the last
// bit. Returned from a call, the components are floats.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
Vec3 NormalizeAxis(const Vec3& axis) {
  const float sq = RoundToFloat(SquaredLength(axis));
  if (IsNearOne(sq)) return axis;
  if (!(double(sq) > kFloatMinNormal)) return Vec3{0.0f, 0.0f, 0.0f};
  const double inv = 1.0 / std::sqrt(double(sq));
  return Vec3{RoundToFloat(axis.x * inv), RoundToFloat(axis.y * inv),
              RoundToFloat(axis.z * inv)};
}

Matrix4& RotationFromCosSin(Matrix4& result, const Vec3& unitAxis, float cosine, float sine) {
  const double x = unitAxis.x, y = unitAxis.y, z = unitAxis.z;
  // c, s and t are 32-bit values.
  const double c = cosine;
  const double s = sine;
  const double t = RoundToFloat(1.0 - c);

  Matrix4 r;
  r.m[0][0] = RoundToFloat(t * x * x + c);
  r.m[0][1] = RoundToFloat(t * x * y + s * z);
  r.m[0][2] = RoundToFloat(t * x * z - s * y);
  r.m[0][3] = 0.0f;
  r.m[1][0] = RoundToFloat(t * x * y - s * z);
  r.m[1][1] = RoundToFloat(t * y * y + c);
  r.m[1][2] = RoundToFloat(t * y * z + s * x);
  r.m[1][3] = 0.0f;
  r.m[2][0] = RoundToFloat(t * x * z + s * y);
  r.m[2][1] = RoundToFloat(t * y * z - s * x);
  r.m[2][2] = RoundToFloat(t * z * z + c);
  r.m[2][3] = 0.0f;
  r.m[3][0] = 0.0f;
  r.m[3][1] = 0.0f;
  r.m[3][2] = 0.0f;
  r.m[3][3] = 1.0f;
  result = r;
  return result;
}

Matrix4& AxisRotationMatrix(Matrix4& result, const Vec3& axis, float angle) {
  return RotationFromCosSin(result, NormalizeAxis(axis), RoundToFloat(Cosine(angle)),
                            RoundToFloat(Sine(angle)));
}

Vec3& TransformPoint(Vec3& result, const Vec3& p, const Matrix4& m) {
  const double px = p.x, py = p.y, pz = p.z;
  const float x = RoundToFloat(px * m.m[0][0] + py * m.m[1][0] + pz * m.m[2][0] + m.m[3][0]);
  const float y = RoundToFloat(px * m.m[0][1] + py * m.m[1][1] + pz * m.m[2][1] + m.m[3][1]);
  const float z = RoundToFloat(px * m.m[0][2] + py * m.m[1][2] + pz * m.m[2][2] + m.m[3][2]);
  const float w = RoundToFloat(px * m.m[0][3] + py * m.m[1][3] + pz * m.m[2][3] + m.m[3][3]);
  if (IsNearOne(w)) return SetVec3(result, x, y, z);
  // The reciprocal is an unnamed scalar and stays double. A zero w gives
  // infinities or NaN, which the callers never produce (their w is 1).
  const double r = 1.0 / double(w);
  return SetVec3(result, RoundToFloat(x * r), RoundToFloat(y * r), RoundToFloat(z * r));
}
