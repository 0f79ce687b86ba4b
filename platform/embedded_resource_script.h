// The resource script compiled into a library by
// tamsink_embed_resource_script (platform/CMakeLists.txt) on platforms where
// the loader carries no resources: the script's bytes, then one NUL that is
// not counted in the size. The library hands them to
// PlatformRegisterResourceScript (platform_hooks.h) when it is loaded.
#pragma once

#include <cstddef>

#ifndef _WIN32
extern const char kEmbeddedResourceScript[];
extern const size_t kEmbeddedResourceScriptSize;
#endif
