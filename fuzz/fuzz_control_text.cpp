// The dialog's number texts: any bytes, of any length, as the text of an
// edit control. Parsing must agree with atoi and atof wherever those are
// defined and saturate where they are not; a control read takes at most 259
// bytes; every number written back fits its buffer and parses to the value
// it shows.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "ui/control_text.h"
#include "window_internal.h"

namespace {

constexpr int kEditId = 1013;

HWND TheDialog() {
  static HWND dialog = [] {
    PlatformWindowSpec params;
    params.className = "#32770";
    params.dialogProc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    HWND made = PlatformCreateWindow(params);
    PlatformWindowSpec edit;
    edit.parent = made;
    edit.className = "EDIT";
    edit.id = kEditId;
    PlatformCreateWindow(edit);
    return made;
  }();
  return dialog;
}

bool SameFloat(float a, float b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  uint32_t x, y;
  std::memcpy(&x, &a, 4);
  std::memcpy(&y, &b, 4);
  return x == y;
}

void CheckText(const char* text) {
  // atoi is defined where strtol does not overflow int.
  errno = 0;
  const long reference = std::strtol(text, nullptr, 10);
  const int32_t parsed = ParseIntText(text);
  if (errno == 0 && reference >= INT32_MIN && reference <= INT32_MAX) {
    FUZZ_CHECK(parsed == std::atoi(text));
  } else {
    FUZZ_CHECK(parsed == (reference < 0 ? INT32_MIN : INT32_MAX));
  }
  const double real = ParseDoubleText(text);
  FUZZ_CHECK(SameFloat(ParseFloatText(text), StoreAsFloat(real)));
  if (std::isfinite(real) && std::fabs(real) < 3.0e38) {
    FUZZ_CHECK(std::isfinite(ParseFloatText(text)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A control text ends at its first zero byte, as every C string does.
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  CheckText(text.c_str());

  HWND dialog = TheDialog();
  SetDlgItemTextA(dialog, kEditId, text.c_str());
  // A read sees the first 259 bytes only.
  const std::string seen = text.substr(0, kControlTextBytes - 1);
  FUZZ_CHECK(ReadControlInt(dialog, kEditId) == ParseIntText(seen.c_str()));
  FUZZ_CHECK(SameFloat(ReadControlFloat(dialog, kEditId), ParseFloatText(seen.c_str())));

  // Written back with each format, the value fits its buffer; "%d" and the
  // float formats read back as the value shown.
  const int32_t number = ParseIntText(seen.c_str());
  WriteControlInt(dialog, kEditId, number);
  FUZZ_CHECK(ReadControlInt(dialog, kEditId) == number);
  const float value = ParseFloatText(seen.c_str());
  for (const char* format : {"%0.1f", "%0.0f"}) {
    WriteControlFloat(dialog, kEditId, value, format);
    char shown[kControlTextBytes];
    GetDlgItemTextA(dialog, kEditId, shown, kControlTextBytes);
    FUZZ_CHECK(std::strlen(shown) < size_t(kNumberTextBytes));
    const float back = ReadControlFloat(dialog, kEditId);
    if (std::isnan(value)) {
      FUZZ_CHECK(std::isnan(back));
    } else if (std::isinf(value)) {
      FUZZ_CHECK(back == value);
    } else {
      // Rounded to at most one decimal, the value moves by at most half a unit.
      FUZZ_CHECK(std::fabs(double(back) - double(value)) <= 0.5 + std::fabs(double(value)) * 1e-6);
    }
  }
  return 0;
}
