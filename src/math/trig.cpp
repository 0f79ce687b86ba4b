// The plug-in's own cosine and sine.
//
// The C libraries of our two platforms disagree in the last bits of cos and
// sin (glibc and msvcrt differ by 1-2 ulp on about 1% of float angles, and by
// hundreds of ulp next to multiples of pi/2), and those bits reach the baked
// images through the rotation matrices. So both functions are built here from
// +, -, *, / and exact operations only: no C library call, no long double, no
// fused multiply-add (the build passes -ffp-contract=off). With IEEE-754
// double arithmetic evaluated in double (FLT_EVAL_METHOD 0: SSE2, any x86-64
// or ARM build) every platform then gives the same bits.
//
// Method. The angle's magnitude |x| is written as k*(pi/2) + r with k an
// integer and |r| <= pi/4 (plus a hair when the estimate of k rounds the
// other way), r kept as an unevaluated double-double sum r_hi + r_lo. Two
// reductions:
//   * |x| < 2^20: Cody-Waite. pi/2 is split into three parts of at most 33
//     significant bits and a fourth full double; k < 2^20, so k times each of
//     the first three parts is exact and every subtraction is exact or has its
//     rounding error captured by TwoSum. The error of r is below
//     2^-105 |r| + 2^-125; over floats up to 1e5, |r| >= 2^-27.8.
//   * |x| >= 2^20: Payne-Hanek in integers. x = m * 2^q with m a 53-bit
//     integer; m is multiplied by a 224-bit window of the bits of 2/pi, in
//     32-bit limbs, which gives x*(2/pi) modulo 4 with at least 191 fraction
//     bits. The nearest a double comes to a multiple of pi/2 is about 2^-61
//     (x = 6381956970095103 * 2^797), so at least 128 significant bits of the
//     fraction remain.
// Then sin r and cos r come from their Taylor series on |r| <= 0.8, with the
// first one or two terms carried as double-double so the result is within
// about 0.51 ulp; r_lo enters through the first-order terms r_lo*cos(r_hi)
// and -r_lo*sin(r_hi). The quadrant k mod 4 picks the kernel and its sign.
// Sine is odd and Cosine even bit for bit: the reduction works on |x|.
//
// Tiny angles (|x| < 2^-27) give x and 1, the correctly rounded values;
// NaN and infinities give a quiet NaN. Any finite input has a defined value.
//
// The constants below were derived from pi computed to 1700 bits with
// Machin's formula (pi = 16 atan(1/5) - 4 atan(1/239)) in exact integer
// arithmetic; each double is the correctly rounded value of the quantity
// named, and each split part is exact as written.
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <limits>

#include "math/vecmath.h"

static_assert(FLT_EVAL_METHOD == 0,
              "Cosine and Sine must be evaluated in plain double (use SSE2 on x86)");
static_assert(std::numeric_limits<double>::is_iec559, "IEEE-754 double required");

namespace {

// ---- double-double building blocks (exact under round-to-nearest) ----

struct DoubleDouble {
  double hi;  // the rounded sum
  double lo;  // what the rounding left out
};

// a + b exactly, for any a and b (Knuth).
DoubleDouble TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  const double err = (a - (s - bb)) + (b - bb);
  return {s, err};
}

// a + b exactly when |a| >= |b| or a is 0 (Dekker).
DoubleDouble FastTwoSum(double a, double b) {
  const double s = a + b;
  const double err = b - (s - a);
  return {s, err};
}

// a = hi + lo with each half holding at most 26 significant bits
// (Veltkamp), so products of halves are exact. Valid for |a| < 2^995.
DoubleDouble Split(double a) {
  const double c = 134217729.0 * a;  // 2^27 + 1
  const double hi = c - (c - a);
  return {hi, a - hi};
}

// a * b exactly, without fused multiply-add (Dekker). Valid while no
// partial product underflows, which holds for every operand met below.
DoubleDouble TwoProduct(double a, double b) {
  const double p = a * b;
  const DoubleDouble as = Split(a);
  const DoubleDouble bs = Split(b);
  const double err = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
  return {p, err};
}

double DoubleFromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint64_t BitsOfDouble(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// 2^e for a normal exponent, built exactly from its bit pattern.
double PowerOfTwo(int e) { return DoubleFromBits(uint64_t(e + 1023) << 52); }

// ---- constants ----

constexpr uint64_t kSignBit = 0x8000000000000000ull;
constexpr uint64_t kExponentMask = 0x7FF0000000000000ull;
constexpr uint64_t kMantissaMask = 0x000FFFFFFFFFFFFFull;

// Below this magnitude sin x rounds to x and cos x rounds to 1: x^3/6 is less
// than half the spacing of doubles below |x| and x^2/2 less than half the
// spacing below 1.
constexpr double kTinyAngle = 0x1p-27;
// The double just below pi/4: up to here the angle is its own reduced argument.
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;
// Up to here Cody-Waite reduction is exact (k < 2^20).
constexpr double kCodyWaiteLimit = 0x1p20;

constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// pi/2 = kHalfPiPart1 + kHalfPiPart2 + kHalfPiPart3 + kHalfPiPart4 + O(2^-160).
// The first three have at most 33 significant bits, so k * part is exact for
// k < 2^20.
constexpr double kHalfPiPart1 = 0x1.921fb544p+0;
constexpr double kHalfPiPart2 = 0x1.0b4611a6p-34;
constexpr double kHalfPiPart3 = 0x1.3198a2ep-69;
constexpr double kHalfPiPart4 = 0x1.b839a252049c1p-104;
// pi/2 as a double-double.
constexpr double kHalfPiHi = 0x1.921fb54442d18p+0;
constexpr double kHalfPiLo = 0x1.1a62633145c07p-54;

// 1/3! and 1/4! as double-double; 1/n! for the rest of the series.
constexpr double kInvFact3Hi = 0x1.5555555555555p-3;
constexpr double kInvFact3Lo = 0x1.5555555555555p-57;
constexpr double kInvFact4Hi = 0x1.5555555555555p-5;
constexpr double kInvFact4Lo = 0x1.5555555555555p-59;
constexpr double kInvFact5 = 0x1.1111111111111p-7;
constexpr double kInvFact6 = 0x1.6c16c16c16c17p-10;
constexpr double kInvFact7 = 0x1.a01a01a01a01ap-13;
constexpr double kInvFact8 = 0x1.a01a01a01a01ap-16;
constexpr double kInvFact9 = 0x1.71de3a556c734p-19;
constexpr double kInvFact10 = 0x1.27e4fb7789f5cp-22;
constexpr double kInvFact11 = 0x1.ae64567f544e4p-26;
constexpr double kInvFact12 = 0x1.1eed8eff8d898p-29;
constexpr double kInvFact13 = 0x1.6124613a86d09p-33;
constexpr double kInvFact14 = 0x1.93974a8c07c9dp-37;
constexpr double kInvFact15 = 0x1.ae7f3e733b81fp-41;
constexpr double kInvFact16 = 0x1.ae7f3e733b81fp-45;
constexpr double kInvFact17 = 0x1.952c77030ad4ap-49;
constexpr double kInvFact18 = 0x1.6827863b97d97p-53;
constexpr double kInvFact19 = 0x1.2f49b46814157p-57;

// The first 1280 bits of the fraction of 2/pi, most significant first: bit i
// (counting from 1) is the coefficient of 2^-i. Enough for every finite
// double: the largest needs bits up to 1161.
constexpr int kTwoOverPiWordCount = 40;
constexpr uint32_t kTwoOverPiBits[kTwoOverPiWordCount] = {
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041, 0xFE5163AB,
    0xDEBBC561, 0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C, 0xFE1DEB1C, 0xB129A73E,
    0xE88235F5, 0x2EBB4484, 0xE99C7026, 0xB45F7E41, 0x3991D639, 0x835339F4, 0x9C845F8B,
    0xBDF9283B, 0x1FF897FF, 0xDE05980F, 0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7,
    0x4F463F66, 0x9E5FEA2D, 0x7527BAC7, 0xEBE5F17B, 0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1,
    0x1F8D5D08, 0x56033046, 0xFC7B6BAB, 0xF0CFBC20, 0x9AF4361D};

// ---- argument reduction ----

struct ReducedAngle {
  unsigned quadrant;  // k mod 4
  double hi, lo;      // r = hi + lo, |r| <= pi/4 + 2^-30, |lo| <= ulp(hi)/2
};

ReducedAngle ReduceCodyWaite(double ax) {
  // ax < 2^20, so the estimate is below 2^20 and converts safely. It may be
  // one off the true nearest integer near odd multiples of pi/4, which only
  // makes |r| exceed pi/4 by rounding noise.
  const int32_t k = static_cast<int32_t>(ax * kTwoOverPi + 0.5);
  const double kd = k;
  // Exact: ax >= pi/4 whenever k >= 1, so ax is a multiple of 2^-53, as is
  // k * part1 (a multiple of 2^-32), and the difference is below 1.
  const double a = ax - kd * kHalfPiPart1;
  const DoubleDouble s = TwoSum(a, -(kd * kHalfPiPart2));
  const DoubleDouble t = TwoSum(s.hi, -(kd * kHalfPiPart3));
  // The products with parts 2 and 3 are exact; what remains is at the level
  // of 2^-53 of the running sum, so rounding it costs below 2^-125.
  const double rest = (s.lo + t.lo) - kd * kHalfPiPart4;
  const DoubleDouble r = TwoSum(t.hi, rest);
  return {static_cast<unsigned>(k) & 3u, r.hi, r.lo};
}

// 32 bits of a little-endian limb array starting at bit `position`; bits
// outside the array read as zero.
uint32_t BitsAt(const uint32_t* limbs, int count, int position) {
  uint32_t result = 0;
  const int total = 32 * count;
  if (position >= total || position <= -32) return 0;
  if (position < 0) return limbs[0] << (-position);
  const int word = position / 32;
  const int shift = position % 32;
  result = limbs[word] >> shift;
  if (shift != 0 && word + 1 < count) result |= limbs[word + 1] << (32 - shift);
  return result;
}

uint64_t Bits64At(const uint32_t* limbs, int count, int position) {
  return uint64_t(BitsAt(limbs, count, position)) |
         (uint64_t(BitsAt(limbs, count, position + 32)) << 32);
}

ReducedAngle ReducePayneHanek(uint64_t abits) {
  // ax = m * 2^q with m a 53-bit integer; 2^20 <= ax < 2^1024 gives
  // -32 <= q <= 971.
  const uint64_t m = (abits & kMantissaMask) | (uint64_t(1) << 52);
  const int q = int(abits >> 52) - 1075;

  // Bits i <= q - 2 of 2/pi contribute multiples of 4 * m to ax * (2/pi) and
  // do not change sin or cos; the window starts at the word holding bit
  // q - 1 (or at the first word) and is 7 words long.
  const int first_bit = q - 1 > 1 ? q - 1 : 1;
  const int first_word = (first_bit - 1) / 32;  // at most 30, so 7 words fit
  constexpr int kWindowWords = 7;
  uint32_t window[kWindowWords];  // little-endian
  for (int j = 0; j < kWindowWords; ++j)
    window[j] = kTwoOverPiBits[first_word + kWindowWords - 1 - j];
  // The product m * window carries `fraction_bits` bits below the binary
  // point of ax * (2/pi): between 191 and 256.
  const int fraction_bits = 32 * (first_word + kWindowWords) - q;

  const uint32_t mantissa[2] = {uint32_t(m), uint32_t(m >> 32)};
  constexpr int kProductWords = kWindowWords + 2;
  uint32_t product[kProductWords] = {};
  for (int i = 0; i < 2; ++i) {
    uint64_t carry = 0;
    for (int j = 0; j < kWindowWords; ++j) {
      const uint64_t t = uint64_t(mantissa[i]) * window[j] + product[i + j] + carry;
      product[i + j] = uint32_t(t);
      carry = t >> 32;
    }
    product[i + kWindowWords] = uint32_t(carry);
  }

  // The two bits above the binary point are k mod 4; the fraction, left
  // aligned in 256 bits, follows.
  unsigned quadrant = BitsAt(product, kProductWords, fraction_bits) & 3u;
  constexpr int kFractionWords = 8;
  uint32_t fraction[kFractionWords];
  for (int j = 0; j < kFractionWords; ++j)
    fraction[j] = BitsAt(product, kProductWords, fraction_bits - 256 + 32 * j);

  // A fraction of one half or more belongs to the next k, as a negative r:
  // its magnitude is the two's complement.
  const bool negative = (fraction[kFractionWords - 1] >> 31) != 0;
  if (negative) {
    quadrant = (quadrant + 1) & 3u;
    uint64_t carry = 1;
    for (int j = 0; j < kFractionWords; ++j) {
      const uint64_t t = uint64_t(~fraction[j]) + carry;
      fraction[j] = uint32_t(t);
      carry = t >> 32;
    }
  }

  int top = kFractionWords - 1;
  while (top >= 0 && fraction[top] == 0) --top;
  if (top < 0) return {quadrant, 0.0, 0.0};  // ax * (2/pi) an integer: not for any double
  int leading_zeros = 32 * (kFractionWords - 1 - top);
  for (uint32_t w = fraction[top]; (w & 0x80000000u) == 0; w <<= 1) ++leading_zeros;

  // The 106 bits from the leading one become a double-double f in units of
  // pi/2: f = a * 2^(-53 - lz) + b * 2^(-106 - lz).
  const uint64_t upper = Bits64At(fraction, kFractionWords, 256 - leading_zeros - 64);
  const uint64_t lower = Bits64At(fraction, kFractionWords, 256 - leading_zeros - 128);
  const double a = double(upper >> 11);
  const double b = double(((upper & 0x7FFu) << 42) | (lower >> 22));
  const DoubleDouble f =
      FastTwoSum(a * PowerOfTwo(-53 - leading_zeros), b * PowerOfTwo(-106 - leading_zeros));

  // r = f * pi/2.
  const DoubleDouble p = TwoProduct(f.hi, kHalfPiHi);
  const double p_lo = p.lo + (f.hi * kHalfPiLo + f.lo * kHalfPiHi);
  DoubleDouble r = FastTwoSum(p.hi, p_lo);
  if (negative) r = {-r.hi, -r.lo};
  return {quadrant, r.hi, r.lo};
}

// abits: the bit pattern of a finite |x| >= kTinyAngle.
ReducedAngle Reduce(uint64_t abits) {
  const double ax = DoubleFromBits(abits);
  if (ax <= kQuarterPi) return {0u, ax, 0.0};
  if (ax < kCodyWaiteLimit) return ReduceCodyWaite(ax);
  return ReducePayneHanek(abits);
}

// ---- kernels on |r| <= 0.8 ----
//
// Taylor series truncated after r^19 (sin) and r^18 (cos): the first omitted
// term is below 2^-66 of the result. The leading terms are double-double;
// the higher terms are at most 0.4% (sin) and 0.06% (cos) of the result, so
// their rounding errors stay near 0.01 ulp.

double SinKernel(double r, double r_lo) {
  const DoubleDouble z = TwoProduct(r, r);
  const DoubleDouble cube = TwoProduct(z.hi, r);  // r^3 = cube.hi + cube_lo
  const double cube_lo = cube.lo + z.lo * r;
  // -r^3/3!
  DoubleDouble third = TwoProduct(cube.hi, -kInvFact3Hi);
  third.lo -= cube.hi * kInvFact3Lo + cube_lo * kInvFact3Hi;
  // r^5/5! - r^7/7! + ... - r^19/19!
  const double zz = z.hi;
  const double series =
      kInvFact5 -
      zz * (kInvFact7 -
            zz * (kInvFact9 -
                  zz * (kInvFact11 -
                        zz * (kInvFact13 - zz * (kInvFact15 - zz * (kInvFact17 - zz * kInvFact19))))));
  const double higher = cube.hi * zz * series;
  // r_lo * cos r, to the r^4 term.
  const double correction = r_lo * (1.0 - zz * (0.5 - zz * kInvFact4Hi));
  const DoubleDouble head = FastTwoSum(r, third.hi);
  return head.hi + (head.lo + (third.lo + (higher + correction)));
}

double CosKernel(double r, double r_lo) {
  const DoubleDouble z = TwoProduct(r, r);
  // 1 - r^2/2: the half is exact and 1 >= r^2/2.
  const DoubleDouble head = FastTwoSum(1.0, -0.5 * z.hi);
  const double head_lo = head.lo - 0.5 * z.lo;
  // r^4/4!
  DoubleDouble fourth = TwoProduct(z.hi, z.hi);
  fourth.lo += 2.0 * z.hi * z.lo;
  DoubleDouble term = TwoProduct(fourth.hi, kInvFact4Hi);
  term.lo += fourth.hi * kInvFact4Lo + fourth.lo * kInvFact4Hi;
  // -r^6/6! + r^8/8! - ... + r^18/18!
  const double zz = z.hi;
  const double series =
      -kInvFact6 +
      zz * (kInvFact8 -
            zz * (kInvFact10 -
                  zz * (kInvFact12 - zz * (kInvFact14 - zz * (kInvFact16 - zz * kInvFact18)))));
  const double higher = fourth.hi * zz * series;
  // -r_lo * sin r, to the r^5 term.
  const double correction = -(r_lo * r) * (1.0 - zz * (kInvFact3Hi - zz * kInvFact5));
  const DoubleDouble sum = FastTwoSum(head.hi, term.hi);
  return sum.hi + (sum.lo + ((head_lo + term.lo) + (higher + correction)));
}

double NotANumber() { return std::numeric_limits<double>::quiet_NaN(); }

}  // namespace

double Cosine(double angle) {
  const uint64_t abits = BitsOfDouble(angle) & ~kSignBit;
  if ((abits & kExponentMask) == kExponentMask) return NotANumber();
  if (DoubleFromBits(abits) < kTinyAngle) return 1.0;
  const ReducedAngle r = Reduce(abits);
  switch (r.quadrant) {
    case 0: return CosKernel(r.hi, r.lo);
    case 1: return -SinKernel(r.hi, r.lo);
    case 2: return -CosKernel(r.hi, r.lo);
    default: return SinKernel(r.hi, r.lo);
  }
}

double Sine(double angle) {
  const uint64_t bits = BitsOfDouble(angle);
  const uint64_t abits = bits & ~kSignBit;
  if ((abits & kExponentMask) == kExponentMask) return NotANumber();
  // Returning the angle itself keeps -0 and subnormals exact.
  if (DoubleFromBits(abits) < kTinyAngle) return angle;
  const ReducedAngle r = Reduce(abits);
  double value;
  switch (r.quadrant) {
    case 0: value = SinKernel(r.hi, r.lo); break;
    case 1: value = CosKernel(r.hi, r.lo); break;
    case 2: value = -SinKernel(r.hi, r.lo); break;
    default: value = -CosKernel(r.hi, r.lo); break;
  }
  return (bits & kSignBit) != 0 ? -value : value;
}
