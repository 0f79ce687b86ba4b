// tinyobjloader's implementation for the Windows build of the baker. The
// Debian package ships the header and a Linux library only; the header holds
// the whole implementation, compiled here once, float build (no
// TINYOBJLOADER_USE_DOUBLE), as the Linux library is.
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
