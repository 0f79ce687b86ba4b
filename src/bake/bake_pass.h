// The bake pass: turns the texel table into the baked picture in one of the
// four modes, stepping the dialog's progress bar and elapsed-time label after
// every row. Runs on the dialog's thread from start to end.
#pragma once

#include <cstdint>

#include "bake/random_source.h"
#include "bake/texel_table.h"
#include "math/vecmath.h"
#include "ui/bake_settings.h"
#include "win32.h"

// Pixel words, A<<24 | R<<16 | G<<8 | B.
constexpr uint32_t kBackgroundColour = 0xFF00FF00u;  // opaque green: no face here
constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

// Control of the main dialog that shows the elapsed time.
constexpr int kElapsedLabelId = 1021;

// Fills the plug-in state's pixel image from its texel table and settings.
// A missing table, or one built for another size, bakes no texel: the picture
// is the background.
void RunBakePass(HWND dialogWindow);

// A cosine and sine as the AO rotations round them to float.
struct CosSin {
  float cosine;
  float sine;
};

// The AO angles a pass can draw, one entry per value of a random draw
// (0 to 32767): the tilt (which depends on the spread) and the turn.
struct AngleTables {
  CosSin tilt[32768];
  CosSin turn[32768];
};

// Fills the tables for the settings' spread.
void FillAngleTables(const BakeSettings& settings, AngleTables& tables);

// What every texel of one pass shares.
struct BakeContext {
  BakeSettings settings;
  Vec3 light;  // unit direction towards the light, or (0, 0, 0)
  // AO looks the rotations' cosines and sines up here when it is set (the
  // same values it would compute).
  const AngleTables* angles = nullptr;
};

// The light direction of a pass: the light position taken as a direction
// from the origin.
Vec3 LightDirection(const Vec3& lightPosition);

// The colour word of one covered texel; AO draws from `random`.
uint32_t BakeTexel(const TexelEntry& texel, const BakeContext& context, RandomSource& random);

// The elapsed-time label for `elapsedMs` milliseconds: "%02d:%02d", minutes
// unwrapped. `text` holds at least 16 bytes.
void FormatElapsed(uint32_t elapsedMs, char* text);
