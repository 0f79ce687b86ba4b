// Tests of the plug-in's own Cosine and Sine.
//
// Two kinds of reference: a table of correctly rounded values worked out
// offline with 3000-bit arithmetic (mpmath), which covers the hard angles
// where the C library itself may be off, and the C library's own cos and sin
// (glibc here), which are within about 0.51 ulp of the truth on float angles,
// for sweeps over millions of angles. Every comparison allows 1 ulp, measured
// as the distance between the bit patterns on the ordered integer line.
#include "math/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "test_support.h"

namespace {

uint64_t DoubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double DoubleFromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Position of a double on a line where neighbouring doubles are one apart and
// +0 and -0 coincide.
int64_t OrderedKey(double value) {
  const uint64_t bits = DoubleBits(value);
  const int64_t magnitude = int64_t(bits & 0x7FFFFFFFFFFFFFFFull);
  return (bits >> 63) != 0 ? -magnitude : magnitude;
}

int64_t UlpDistance(double a, double b) {
  const int64_t d = OrderedKey(a) - OrderedKey(b);
  return d < 0 ? -d : d;
}

// A double with uniformly random bits, redrawn until finite.
double RandomFiniteDouble(std::mt19937_64& random) {
  for (;;) {
    const uint64_t bits = random();
    if ((bits & 0x7FF0000000000000ull) != 0x7FF0000000000000ull) return DoubleFromBits(bits);
  }
}

// The float `steps` representable values away from f (same sign side).
float FloatStep(float f, int steps) { return FloatFromBits(uint32_t(int64_t(FloatBits(f)) + steps)); }

// Running comparison of both functions against the C library.
struct Agreement {
  const char* name;
  int64_t angles = 0;
  int64_t sine_differs = 0;
  int64_t cosine_differs = 0;
  int64_t max_ulps = 0;
  double worst_angle = 0.0;

  void Check(double angle) {
    const int64_t s = UlpDistance(Sine(angle), std::sin(angle));
    const int64_t c = UlpDistance(Cosine(angle), std::cos(angle));
    ++angles;
    sine_differs += s != 0;
    cosine_differs += c != 0;
    const int64_t worst = s > c ? s : c;
    if (worst > max_ulps) {
      max_ulps = worst;
      worst_angle = angle;
    }
  }

  double DifferingFraction() const {
    return double(sine_differs + cosine_differs) / double(2 * angles);
  }

  // Within 1 ulp everywhere, and bit-identical nearly everywhere. glibc is
  // not correctly rounded either; the two differ on 0.02% to 0.2% of the
  // results depending on the range (most often next to odd multiples of
  // pi/4), while a kernel evaluated without its double-double leading terms
  // or without the r_lo correction differs on more than 1% of the angles up
  // to 1e5.
  void Expect() const {
    std::printf("[ %s ] %lld angles, max %lld ulp, sine differs on %.4f%%, cosine on %.4f%%\n",
                name, static_cast<long long>(angles), static_cast<long long>(max_ulps),
                100.0 * double(sine_differs) / double(angles),
                100.0 * double(cosine_differs) / double(angles));
    EXPECT_GT(angles, 0);
    EXPECT_LE(max_ulps, 1) << name << ": worst angle " << std::hexfloat << worst_angle;
    EXPECT_LT(DifferingFraction(), 0.005) << name;
  }
};

TEST(Trig, ZeroGivesExactValues) {
  EXPECT_EQ(DoubleBits(Sine(0.0)), DoubleBits(0.0));
  EXPECT_EQ(DoubleBits(Sine(-0.0)), DoubleBits(-0.0));
  EXPECT_EQ(DoubleBits(Cosine(0.0)), DoubleBits(1.0));
  EXPECT_EQ(DoubleBits(Cosine(-0.0)), DoubleBits(1.0));
}

// Below 2^-27, x^3/6 is less than half the spacing of doubles just below |x|
// and x^2/2 less than half the spacing below 1, so the correctly rounded
// values are exactly x and 1.
TEST(Trig, TinyAnglesGiveTheAngleAndOne) {
  const double tiny[] = {
      DoubleFromBits(1),                      // smallest subnormal
      DoubleFromBits(0x000FFFFFFFFFFFFFull),  // largest subnormal
      2.2250738585072014e-308,                // smallest normal
      1e-300, 1e-100, 1e-20, 1e-10,
      0x1p-28, 0x1.fffffffffffffp-28,  // the last double below 2^-27
      double(FloatFromBits(1)),        // the smallest float subnormal
      double(kFloatMinNormal),
  };
  for (double x : tiny) {
    for (double angle : {x, -x}) {
      EXPECT_EQ(DoubleBits(Sine(angle)), DoubleBits(angle)) << std::hexfloat << angle;
      EXPECT_EQ(DoubleBits(Cosine(angle)), DoubleBits(1.0)) << std::hexfloat << angle;
    }
  }
}

TEST(Trig, NonFiniteAnglesGiveNaN) {
  const double inf = std::numeric_limits<double>::infinity();
  const double cases[] = {inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                          -std::numeric_limits<double>::quiet_NaN(),
                          DoubleFromBits(0x7FF0000000000001ull),   // signalling NaN
                          DoubleFromBits(0xFFF8000000000123ull)};  // NaN with a payload
  for (double angle : cases) {
    EXPECT_TRUE(std::isnan(Sine(angle))) << std::hexfloat << angle;
    EXPECT_TRUE(std::isnan(Cosine(angle))) << std::hexfloat << angle;
  }
}

// Correctly rounded sin and cos, computed offline with mpmath at 3000 bits of
// precision: angles where the reduction cancels most (near multiples of
// pi/2), the switch points between the reductions, and huge arguments.
// glibc's own cos is 8 ulp off on the double closest to a multiple of pi/2.
struct ReferenceValue {
  double angle, sine, cosine;
  const char* what;
};
const ReferenceValue kReferenceValues[] = {
    {0x1.0000000000000p+0, 0x1.aed548f090ceep-1, 0x1.14a280fb5068cp-1, "1"},
    {0x1.921fb60000000p+0, 0x1.ffffffffffff7p-1, -0x1.777a5cf72ceccp-25, "float nearest pi/2"},
    {0x1.921fb60000000p+1, -0x1.777a5cf72cec6p-24, -0x1.fffffffffffdep-1, "float nearest pi"},
    {0x1.2d97c80000000p+2, -0x1.fffffffffffffp-1, 0x1.99bc5b961b1adp-27, "float nearest 3pi/2"},
    {0x1.921fb60000000p+2, 0x1.777a5cf72ceadp-23, 0x1.fffffffffff76p-1, "float nearest 2pi"},
    // The float closest to a multiple of pi/2 (161 pi/2) among all floats up
    // to 1e5: 2^-27.8 away.
    {0x1.f9cbe20000000p+7, 0x1.0000000000000p+0, -0x1.1fa3bb9a07e78p-28, "252.89821f"},
    {0x1.9a48de0000000p+15, 0x1.fffffffffffffp-1, -0x1.16ae29144d3b2p-26, "52516.434f"},
    {0x1.86a0000000000p+16, 0x1.24daa9c527e96p-5, -0x1.ffac3841b3da7p-1, "1e5"},
    {0x1.fffffe0000000p+127, -0x1.0b33665089575p-1, 0x1.b4bf2c79bdfcep-1, "largest float"},
    {0x1.921fb54442d18p-1, 0x1.6a09e667f3bccp-1, 0x1.6a09e667f3bcdp-1, "double below pi/4"},
    {0x1.921fb54442d19p-1, 0x1.6a09e667f3bcdp-1, 0x1.6a09e667f3bccp-1, "double above pi/4"},
    {0x1.921fb54442d18p+0, 0x1.0000000000000p+0, 0x1.1a62633145c07p-54, "double nearest pi/2"},
    {0x1.fffffffffffffp+19, 0x1.526ccb2de52a8p-2, 0x1.e33ada9352c61p-1, "2^20 - ulp"},
    {0x1.0000000000000p+20, 0x1.526ccb2fc8656p-2, 0x1.e33ada92fe2aep-1, "2^20"},
    {0x1.0f0cf064dd592p+73, -0x1.b453ab76bf397p-1, 0x1.0be2cef01c8f4p-1, "1e22"},
    // 6381956970095103 * 2^797, 2^-60.9 from a multiple of pi/2: the closest
    // any double comes.
    {0x1.6ac5b262ca1ffp+849, 0x1.0000000000000p+0, -0x1.14ae72e6ba22fp-61, "closest double"},
    {0x1.fffffffffffffp+1023, 0x1.452fc98b34e97p-8, -0x1.fffe62ecfab75p-1, "largest double"},
    {0x1.0000000000000p-26, 0x1.0000000000000p-26, 0x1.fffffffffffffp-1, "2^-26"},
};

TEST(Trig, MatchesCorrectlyRoundedReferenceWithinOneUlp) {
  for (const ReferenceValue& ref : kReferenceValues) {
    for (double sign : {1.0, -1.0}) {
      const double angle = sign * ref.angle;
      EXPECT_LE(UlpDistance(Sine(angle), sign * ref.sine), 1)
          << ref.what << " sine " << std::hexfloat << Sine(angle);
      EXPECT_LE(UlpDistance(Cosine(angle), ref.cosine), 1)
          << ref.what << " cosine " << std::hexfloat << Cosine(angle);
    }
  }
}

// The rotation-matrix example: the float pi/2 has a cosine of about -4.37e-8,
// which rounds to the float -4.37113883e-8; the C libraries disagree here by
// hundreds of ulp.
TEST(Trig, CosineOfFloatHalfPiRoundsToTheKnownFloat) {
  const float half_pi = 1.57079632679489661923f;
  EXPECT_EQ(FloatBits(RoundToFloat(Cosine(half_pi))), FloatBits(-4.37113883e-08f));
  EXPECT_EQ(RoundToFloat(Sine(half_pi)), 1.0f);
}

// Sine is odd and Cosine even, bit for bit, on every kind of angle.
TEST(Trig, SineIsOddAndCosineEvenExactly) {
  std::mt19937_64 random(7);
  std::vector<double> angles = {0.5, 0x1.921fb54442d18p-1, 1.5707963267948966, 3.0, 1e5,
                                0x1p20, 1e22, 1.7976931348623157e308};
  for (int i = 0; i < 20000; ++i) {
    angles.push_back(std::fabs(RandomFiniteDouble(random)));
    angles.push_back(std::ldexp(double(random() >> 11), -50));  // [0, 8)
  }
  for (double a : angles) {
    ASSERT_EQ(DoubleBits(Sine(-a)), DoubleBits(-Sine(a))) << std::hexfloat << a;
    ASSERT_EQ(DoubleBits(Cosine(-a)), DoubleBits(Cosine(a))) << std::hexfloat << a;
  }
}

// Floats from 2^-40 to 4 by a stride of 37 bit patterns (about 9.5 million
// on each side): every exponent of the range, the tiny-angle switch at 2^-27
// and the pi/4 switch; the negative side starts half a stride later, so it
// tests other angles.
TEST(Trig, DenseSweepOfFloatsUpToFourAgreesWithCLibrary) {
  Agreement agreement{"floats |x| <= 4"};
  const uint32_t first = FloatBits(0x1p-40f);
  const uint32_t last = FloatBits(4.0f);
  constexpr uint32_t kStride = 37;
  for (uint32_t bits = first; bits <= last; bits += kStride) {
    agreement.Check(double(FloatFromBits(bits)));
    if (bits + kStride / 2 <= last) agreement.Check(-double(FloatFromBits(bits + kStride / 2)));
  }
  agreement.Expect();
}

TEST(Trig, RandomFloatsUpTo1e5AgreeWithCLibrary) {
  Agreement agreement{"random floats |x| <= 1e5"};
  std::mt19937 random(20240601);
  std::uniform_real_distribution<float> uniform(-1e5f, 1e5f);
  const uint32_t largest = FloatBits(1e5f);
  std::uniform_int_distribution<uint32_t> pattern(0, largest);
  for (int i = 0; i < 1000000; ++i) {
    agreement.Check(double(uniform(random)));  // uniform in value: mostly large
    const float f = FloatFromBits(pattern(random));  // uniform in bits: every exponent
    agreement.Check((random() & 1u) != 0 ? -double(f) : double(f));
  }
  agreement.Expect();
}

// The floats nearest every multiple j*pi/4 up to 1e5 and their three
// neighbours on each side: near the even multiples the reduction cancels
// most of the angle, near the odd ones the quadrant estimate may go either
// way.
TEST(Trig, FloatsNearMultiplesOfQuarterPiAgreeWithCLibrary) {
  Agreement even{"floats near j*pi/2, |x| <= 1e5"};
  Agreement odd{"floats near (2j+1)*pi/4, |x| <= 1e5"};
  const double quarter_pi = 0.78539816339744830962;
  for (int j = 1; j * quarter_pi <= 1e5; ++j) {
    // j * quarter_pi is within 2^-52 relative of j*pi/4, far closer than the
    // float spacing, so the nearest float is the centre or a neighbour.
    const float centre = float(j * quarter_pi);
    for (int step = -3; step <= 3; ++step) {
      const double angle = FloatStep(centre, step);
      Agreement& a = (j % 2 == 0) ? even : odd;
      a.Check(angle);
      a.Check(-angle);
    }
  }
  even.Expect();
  odd.Expect();
}

// Doubles that are not floats, and the neighbourhoods of the switch points
// between the two reductions and of the powers of two.
TEST(Trig, DoublesAgreeWithCLibrary) {
  Agreement medium{"doubles |x| < 2e6"};
  Agreement huge{"random finite doubles"};
  Agreement boundaries{"switch points and powers of two"};
  std::mt19937_64 random(99);
  std::uniform_real_distribution<double> uniform(-2e6, 2e6);
  for (int i = 0; i < 300000; ++i) {
    medium.Check(uniform(random));
    huge.Check(RandomFiniteDouble(random));
  }
  const double switches[] = {0x1p-27, 0x1.921fb54442d18p-1, 0x1p20};
  for (double centre : switches)
    for (int step = -16; step <= 16; ++step)
      boundaries.Check(DoubleFromBits(DoubleBits(centre) + int64_t(step)));
  for (int e = -30; e <= 1023; ++e)
    for (int step = -2; step <= 2; ++step)
      boundaries.Check(DoubleFromBits(DoubleBits(std::ldexp(1.0, e)) + int64_t(step)));
  medium.Expect();
  huge.Expect();
  boundaries.Expect();
}

}  // namespace
