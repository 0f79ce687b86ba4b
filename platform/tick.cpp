// GetTickCount over the monotonic clock: milliseconds, wrapping at 2^32.
#include <time.h>

#include "win32.h"
#include "platform_hooks.h"

namespace {
PlatformTickSource g_tickSource = nullptr;
}

void PlatformSetTickSource(PlatformTickSource source) { g_tickSource = source; }

DWORD GetTickCount() {
  if (g_tickSource != nullptr) return g_tickSource();
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const unsigned long long ms =
      static_cast<unsigned long long>(now.tv_sec) * 1000ULL + now.tv_nsec / 1000000;
  return static_cast<DWORD>(ms);
}
