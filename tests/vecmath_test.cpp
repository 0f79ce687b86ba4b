#include "math/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"

namespace {

const float kHalfPi = 1.57079632679489661923f;  // the float nearest pi/2
const float kCosHalfPi = -4.37113883e-08f;      // cos of that float, rounded to float

void ExpectMatrixBits(const Matrix4& m, const float (&expected)[4][4]) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(FloatBits(m.m[r][c]), FloatBits(expected[r][c])) << "entry " << r << "," << c;
}

TEST(VecMath, SetCopyAdd) {
  Vec3 a, b, r;
  SetVec3(a, 1.0f, 2.0f, 3.0f);
  CopyVec3(b, a);
  EXPECT_EQ(b.x, 1.0f);
  EXPECT_EQ(b.z, 3.0f);
  Vec3& returned = AddVec3(r, a, b);
  EXPECT_EQ(&returned, &r);
  EXPECT_EQ(r.y, 4.0f);
}

TEST(VecMath, AddRoundsEachSumToFloat) {
  Vec3 a{1.0f, 0.0f, 0.0f}, b{1e-8f, 0.0f, 0.0f}, r;
  AddVec3(r, a, b);
  EXPECT_EQ(r.x, 1.0f);  // 1 + 1e-8 is not a float
}

TEST(VecMath, AddInPlaceReadsInputsFirst) {
  Vec3 a{1.0f, 2.0f, 3.0f};
  AddVec3(a, a, a);
  EXPECT_EQ(a.x, 2.0f);
  EXPECT_EQ(a.y, 4.0f);
  EXPECT_EQ(a.z, 6.0f);
}

TEST(VecMath, SquaredLengthAndDotAreUnroundedDoubles) {
  // 0.1f squared in double differs from the same value rounded to float.
  const Vec3 v{0.1f, 0.0f, 0.0f};
  const double expected = double(0.1f) * double(0.1f);
  EXPECT_EQ(SquaredLength(v), expected);
  EXPECT_NE(SquaredLength(v), double(float(expected)));
  const Vec3 a{1.0f, 2.0f, 3.0f}, b{4.0f, -5.0f, 6.0f};
  EXPECT_EQ(DotProduct(a, b), 12.0);
  // A sum beyond float precision survives: 2^24 + 1.
  const Vec3 big{4096.0f, 1.0f, 0.0f};
  EXPECT_EQ(SquaredLength(big), 16777217.0);
}

TEST(VecMath, RotationAboutZByHalfPi) {
  Matrix4 m;
  AxisRotationMatrix(m, Vec3{0.0f, 0.0f, 1.0f}, kHalfPi);
  // t = 1 - c rounds to exactly 1; t*z*z + c then rounds to the float below 1.
  const float below1 = FloatFromBits(0x3F7FFFFF);
  const float expected[4][4] = {{kCosHalfPi, 1, 0, 0},
                                {-1, kCosHalfPi, 0, 0},
                                {0, 0, below1, 0},
                                {0, 0, 0, 1}};
  ExpectMatrixBits(m, expected);

  Vec3 p;
  TransformPoint(p, Vec3{1.0f, 0.0f, 0.0f}, m);
  EXPECT_EQ(FloatBits(p.x), FloatBits(kCosHalfPi));
  EXPECT_EQ(p.y, 1.0f);
  EXPECT_EQ(p.z, 0.0f);
}

TEST(VecMath, AxisIsNormalisedUnlessNearUnit) {
  Matrix4 a, b;
  AxisRotationMatrix(a, Vec3{0.0f, 0.0f, 2.0f}, 0.7f);
  AxisRotationMatrix(b, Vec3{0.0f, 0.0f, 1.0f}, 0.7f);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(FloatBits(a.m[r][c]), FloatBits(b.m[r][c]));

  // x*x adds about 2^-23 to the squared length, which rounds to 1 + 2^-23:
  // still near one, so z stays exactly 1 and m[2][2] is as about the unit z.
  const Vec3 nearUnit{0.0003453f, 0.0f, 1.0f};
  ASSERT_EQ(float(SquaredLength(nearUnit)), FloatFromBits(0x3F800001));
  Matrix4 n;
  AxisRotationMatrix(n, nearUnit, kHalfPi);
  EXPECT_EQ(FloatBits(n.m[2][2]), 0x3F7FFFFFu);
  EXPECT_EQ(n.m[0][2], 0.0003453f);  // t*x*z - s*y with x, z unchanged
}

// The rotation written out step by step, each float stored through a
// volatile so that no optimisation can keep it wider: the reference for
// axes that need normalising.
void RotationByHand(const Vec3& axis, float angle, float (&m)[4][4]) {
  volatile float sq = float(double(axis.x) * axis.x + double(axis.y) * axis.y +
                            double(axis.z) * axis.z);
  const double inv = 1.0 / std::sqrt(double(sq));
  volatile float nx = float(axis.x * inv), ny = float(axis.y * inv), nz = float(axis.z * inv);
  const double x = nx, y = ny, z = nz;
  volatile float cf = float(Cosine(angle)), sf = float(Sine(angle));
  const double c = cf, s = sf;
  volatile float tf = float(1.0 - c);
  const double t = tf;
  const double entries[3][3] = {{t * x * x + c, t * x * y + s * z, t * x * z - s * y},
                                {t * x * y - s * z, t * y * y + c, t * y * z + s * x},
                                {t * x * z + s * y, t * y * z - s * x, t * z * z + c}};
  for (int r = 0; r < 4; ++r)
    for (int k = 0; k < 4; ++k) m[r][k] = r < 3 && k < 3 ? float(entries[r][k]) : r == k ? 1.0f : 0.0f;
}

TEST(VecMath, ObliqueAxesAreNormalisedToFloatBeforeUse) {
  // Axes far from unit length in every direction, as the AO tilt axis
  // (-n.y, n.x, 0) is; a build that kept the normalised components in
  // double got some entries one unit in the last place off.
  const Vec3 axes[] = {{0.3f, 0.5f, 0.0f}, {-0.8f, 0.1f, 0.0f}, {0.2f, -0.7f, 0.4f},
                       {3.0f, 4.0f, 12.0f}, {-0.01f, 0.02f, 0.003f}};
  for (const Vec3& axis : axes)
    for (int i = 0; i < 200; ++i) {
      const float angle = float(-3.0 + 0.03 * i);
      float expected[4][4];
      RotationByHand(axis, angle, expected);
      Matrix4 m;
      AxisRotationMatrix(m, axis, angle);
      ExpectMatrixBits(m, expected);
      // The two halves give the same matrix.
      Matrix4 halves;
      RotationFromCosSin(halves, NormalizeAxis(axis), float(Cosine(angle)), float(Sine(angle)));
      ExpectMatrixBits(halves, expected);
      if (::testing::Test::HasFailure()) return;
    }
}

TEST(VecMath, CallerAxisIsNotChanged) {
  const Vec3 axis{0.0f, 3.0f, 4.0f};
  Vec3 copy = axis;
  Matrix4 m;
  AxisRotationMatrix(m, copy, 1.0f);
  EXPECT_EQ(copy.y, 3.0f);
  EXPECT_EQ(copy.z, 4.0f);
}

TEST(VecMath, ZeroAxisScalesByCosine) {
  for (const Vec3 axis : {Vec3{0, 0, 0}, Vec3{1e-20f, 0, 0}}) {
    Matrix4 m;
    AxisRotationMatrix(m, axis, 0.5f);
    const float c = 0.87758255f;
    const float expected[4][4] = {{c, 0, 0, 0}, {0, c, 0, 0}, {0, 0, c, 0}, {0, 0, 0, 1}};
    ExpectMatrixBits(m, expected);
  }
}

TEST(VecMath, RotationTurnsCounterClockwiseSeenFromAxisTip) {
  // About +X by a quarter turn, +Y goes to +Z in a right-handed frame.
  Matrix4 m;
  AxisRotationMatrix(m, Vec3{1.0f, 0.0f, 0.0f}, kHalfPi);
  Vec3 p;
  TransformPoint(p, Vec3{0.0f, 1.0f, 0.0f}, m);
  EXPECT_NEAR(p.y, 0.0f, 1e-7);
  EXPECT_EQ(p.z, 1.0f);
}

Matrix4 Identity() {
  Matrix4 m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

TEST(VecMath, TransformPointDividesByW) {
  struct Case {
    const char* name;
    float m33;
    float tx, ty, tz;
    Vec3 expected;
  };
  const Case cases[] = {
      {"w = 2 divides", 2.0f, 0, 0, 0, {0.5f, 1.0f, 1.5f}},
      {"w = 1 + 2^-23 is near one, undivided", FloatFromBits(0x3F800001), 0, 0, 0, {1, 2, 3}},
      {"translation row", 1.0f, 10, 20, 30, {11, 22, 33}},
      {"w = 4 with translation", 4.0f, 2, 2, 1, {0.75f, 1.0f, 1.0f}},
  };
  for (const Case& c : cases) {
    Matrix4 m = Identity();
    m.m[3][3] = c.m33;
    m.m[3][0] = c.tx;
    m.m[3][1] = c.ty;
    m.m[3][2] = c.tz;
    Vec3 r;
    TransformPoint(r, Vec3{1, 2, 3}, m);
    EXPECT_EQ(r.x, c.expected.x) << c.name;
    EXPECT_EQ(r.y, c.expected.y) << c.name;
    EXPECT_EQ(r.z, c.expected.z) << c.name;
  }
}

TEST(VecMath, TransformPointInPlace) {
  Matrix4 m;
  AxisRotationMatrix(m, Vec3{0.0f, 0.0f, 1.0f}, 0.3f);
  Vec3 separate, inPlace{0.5f, -2.0f, 7.0f};
  TransformPoint(separate, inPlace, m);
  TransformPoint(inPlace, inPlace, m);
  EXPECT_EQ(FloatBits(separate.x), FloatBits(inPlace.x));
  EXPECT_EQ(FloatBits(separate.y), FloatBits(inPlace.y));
  EXPECT_EQ(FloatBits(separate.z), FloatBits(inPlace.z));
}

}  // namespace
