// Numbers in dialog controls: reading a control's text into a number and
// writing a number back as text. Every read takes at most 259 bytes of text
// (a 260-byte buffer); control texts are code page 932 bytes, but numbers are
// plain ASCII in it.
//
// Parsing follows the standard atoi and atof: leading white space, then the
// longest number at the start, 0 when there is none. Where those two have no
// defined result (a number beyond the range of the type) the value
// saturates instead: an int at INT32_MIN or INT32_MAX, a float at the
// infinity the IEEE rounding of the double would give. So every text has a
// defined value, and nothing here converts a non-finite float to an integer.
#pragma once

#include <cstdint>

#include "win32.h"

// Bytes of every buffer a control's text is read into.
constexpr int kControlTextBytes = 260;

// Bytes of every buffer a number is formatted into: "%0.0f" of the largest
// float takes 40 characters and "%0.1f" 42, so this holds any float.
constexpr int kNumberTextBytes = 64;

// atoi of `text`, saturating at the int32 range.
int32_t ParseIntText(const char* text);
// atof of `text`, stored as a 32-bit float (a double beyond the float range
// becomes the infinity of its sign, as IEEE rounding gives it).
float ParseFloatText(const char* text);
// atof of `text` as the double it parses to.
double ParseDoubleText(const char* text);

// A double stored as a 32-bit float without undefined behaviour: the IEEE
// round-to-nearest result, beyond the float range the infinity of its sign.
float StoreAsFloat(double value);

// GetDlgItemTextA of control `id` of `dialog` into a 260-byte buffer, parsed.
int32_t ReadControlInt(HWND dialog, int id);
float ReadControlFloat(HWND dialog, int id);

// Writes `value` into control `id` of `dialog` with the format: "%d" for
// counts, "%0.1f" for the ambient-occlusion values, "%0.0f" for the light.
void WriteControlInt(HWND dialog, int id, int32_t value);
void WriteControlFloat(HWND dialog, int id, double value, const char* format);
