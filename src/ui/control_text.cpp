#include "ui/control_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "math/vecmath.h"

static_assert(std::numeric_limits<double>::is_iec559 && std::numeric_limits<float>::is_iec559,
              "IEEE-754 float and double required: NaN and infinity convert as IEEE says");

namespace {

// FLT_MAX plus half an ulp: from here on, round-to-nearest gives infinity
// (at exactly this value the tie goes to the even neighbour, 2^128).
constexpr double kFloatOverflowThreshold = 0x1.ffffffp+127;

}  // namespace

int32_t ParseIntText(const char* text) {
  if (text == nullptr) return 0;
  // strtol gives atoi's result for every number in range, and a saturated
  // one (with ERANGE) beyond it, where atoi itself would be undefined.
  const long value = std::strtol(text, nullptr, 10);
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

double ParseDoubleText(const char* text) {
  if (text == nullptr) return 0.0;
  // atof is strtod without its defined overflow result (HUGE_VAL).
  return std::strtod(text, nullptr);
}

float StoreAsFloat(double value) {
  if (value >= kFloatOverflowThreshold) return std::numeric_limits<float>::infinity();
  if (value <= -kFloatOverflowThreshold) return -std::numeric_limits<float>::infinity();
  return RoundToFloat(value);
}

float ParseFloatText(const char* text) { return StoreAsFloat(ParseDoubleText(text)); }

int32_t ReadControlInt(HWND dialog, int id) {
  char text[kControlTextBytes] = "";
  GetDlgItemTextA(dialog, id, text, kControlTextBytes);
  return ParseIntText(text);
}

float ReadControlFloat(HWND dialog, int id) {
  char text[kControlTextBytes] = "";
  GetDlgItemTextA(dialog, id, text, kControlTextBytes);
  return ParseFloatText(text);
}

void WriteControlInt(HWND dialog, int id, int32_t value) {
  char text[kNumberTextBytes];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  SetDlgItemTextA(dialog, id, text);
}

void WriteControlFloat(HWND dialog, int id, double value, const char* format) {
  char text[kNumberTextBytes];
  std::snprintf(text, sizeof text, format, value);
  SetDlgItemTextA(dialog, id, text);
}
