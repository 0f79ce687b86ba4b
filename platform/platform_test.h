// Hooks of the stand-in platform that tests and the stand-in host use to
// observe or steer what the real system would do by itself.
#pragma once

#include "win32.h"

#ifndef _WIN32
// Replaces the clock behind GetTickCount; null restores the monotonic clock.
typedef DWORD (*PlatformTickSource)();
void PlatformSetTickSource(PlatformTickSource source);
#endif
