// Vector math: the float value types every subsystem shares, the 3-vector
// operations and the axis-rotation / point-transform pair the ambient-occlusion
// sampling uses.
//
// Rounding rule of the whole plug-in: values are stored as 32-bit floats; the
// arithmetic inside one formula runs in double and is rounded to float exactly
// where a result is stored (RoundToFloat marks those places). SquaredLength and
// DotProduct hand back the unrounded double. Matrices act on row vectors, so
// row 3 is the translation and column 3 holds the projective terms.
//
// Every operation that yields a vector or matrix writes it into a caller's
// object and returns that object; the result may alias an input, since all
// inputs are read before anything is written.
#pragma once

#include <cstdint>

struct Vec3 {
  float x, y, z;
};

struct Vec2 {
  float u, v;
};

struct Matrix4 {
  float m[4][4];  // m[row][column]
};

// The one place a double becomes a stored float.
inline float RoundToFloat(double value) { return static_cast<float>(value); }

// The 32-bit float epsilon, 2^-23, used by the near-one tests.
constexpr double kFloatEpsilon = 1.1920928955078125e-07;
// The smallest normal 32-bit float, 2^-126.
constexpr double kFloatMinNormal = 1.1754943508222875e-38;

Vec3& SetVec3(Vec3& target, float x, float y, float z);
Vec3& CopyVec3(Vec3& target, const Vec3& source);
Vec3& AddVec3(Vec3& result, const Vec3& a, const Vec3& b);
double SquaredLength(const Vec3& v);
double DotProduct(const Vec3& a, const Vec3& b);
Matrix4& AxisRotationMatrix(Matrix4& result, const Vec3& axis, float angle);
// The two halves of AxisRotationMatrix, for callers that rotate about one
// axis many times or know the cosine and sine already:
// AxisRotationMatrix(m, axis, angle) is RotationFromCosSin(m,
// NormalizeAxis(axis), RoundToFloat(Cosine(angle)), RoundToFloat(Sine(angle))).
// NormalizeAxis leaves an axis within float epsilon of unit length as it is
// and gives (0, 0, 0) for one too short to normalise.
Vec3 NormalizeAxis(const Vec3& axis);
Matrix4& RotationFromCosSin(Matrix4& result, const Vec3& unitAxis, float cosine, float sine);
Vec3& TransformPoint(Vec3& result, const Vec3& p, const Matrix4& m);

// Cosine and sine of a double angle, computed by the plug-in itself so that
// every build (glibc, msvcrt) gives the same bits.
double Cosine(double angle);
double Sine(double angle);
