// LoadLibraryA, GetProcAddress and FreeLibrary over the dynamic loader. Each
// LoadLibraryA takes one reference on the module and each FreeLibrary gives
// one back, as on Windows.
#include <dlfcn.h>

#include "win32.h"

HMODULE LoadLibraryA(LPCSTR fileName) {
  // An empty name would open the running program itself; Windows loads nothing.
  if (fileName == nullptr || fileName[0] == '\0') return nullptr;
  return static_cast<HMODULE>(dlopen(fileName, RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module == nullptr || procName == nullptr) return nullptr;
  void* address = dlsym(module, procName);
  FARPROC proc;
  static_assert(sizeof proc == sizeof address, "code and data pointers differ in size");
  __builtin_memcpy(&proc, &address, sizeof proc);
  return proc;
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr) return FALSE;
  return dlclose(module) == 0 ? TRUE : FALSE;
}
