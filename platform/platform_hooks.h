// Hooks of the stand-in platform: what the real system does by itself (load a
// module's resources, count its windows, give up on a dialog nobody drives)
// made visible to the plug-in's Linux shell, the stand-in host and the tests.
// None of this exists on Windows, where the system does it; callers guard
// their use with #ifndef _WIN32.
#pragma once

#include <cstddef>

#include "win32.h"

#ifndef _WIN32
// Replaces the clock behind GetTickCount; null restores the monotonic clock.
typedef DWORD (*PlatformTickSource)();
void PlatformSetTickSource(PlatformTickSource source);

// Makes `text` (a resource script, see resource_script.h) the resources of
// the module `instance`, replacing any registered before: what the loader
// gives a library on Windows. The text is read at once and need not outlive
// the call. Returns false when the script is malformed; the instance then has
// no templates, so DialogBoxParamA returns -1 and CreateDialogParamA null.
// The plug-in library registers its embedded script for the instance that
// dladdr reports for its own code (dli_fbase).
bool PlatformRegisterResourceScript(HINSTANCE instance, const char* text, size_t length);
// Forgets the resources of `instance` (when the library is unloaded).
void PlatformUnregisterResourceScript(HINSTANCE instance);

// How many windows exist (created and not yet destroyed).
int PlatformLiveWindowCount();
// How many posted messages wait in the queue.
size_t PlatformPostedMessageCount();

// The modal loop's guard against a dialog that nobody drives. The loop sends
// WM_ENTERIDLE to the owner whenever the queue is empty; an idle round in
// which the owner neither posted nor sent a message, nor changed a window,
// is fruitless. After `maxFruitlessRounds` fruitless rounds in a row, or
// `maxRounds` idle rounds in all, DialogBoxParamA gives the dialog up,
// destroys it and returns -1. A value of 0 or less restores the default
// (kPlatformDefaultFruitlessIdleRounds, kPlatformDefaultIdleRounds).
constexpr int kPlatformDefaultFruitlessIdleRounds = 100;
constexpr int kPlatformDefaultIdleRounds = 1000000;
void PlatformSetIdleLimits(int maxFruitlessRounds, int maxRounds);
// How many modal dialogs the guard has given up since the process started.
int PlatformAbandonedDialogCount();

// The fixed dialog base units: a dialog unit is baseX / 4 pixels across and
// baseY / 8 pixels down, whatever the template's font (the real system
// measures the font; these are the average width and height of a 9-point
// Japanese UI font at 96 dpi).
constexpr int kPlatformDialogBaseUnitX = 6;
constexpr int kPlatformDialogBaseUnitY = 12;
#endif
