#include "shell/host_api.h"

#include <cstring>

const char* const kHostEntryPointNames[kHostEntryPointCount] = {
#define TAMSINK_HOST_TYPED_NAME(name, result, params) #name,
#define TAMSINK_HOST_UNTYPED_NAME(name) #name,
    TAMSINK_HOST_ENTRY_POINTS(TAMSINK_HOST_TYPED_NAME, TAMSINK_HOST_UNTYPED_NAME)
#undef TAMSINK_HOST_TYPED_NAME
#undef TAMSINK_HOST_UNTYPED_NAME
};

namespace {

// Copies a looked-up address into a member of any function-pointer type.
template <typename Proc>
bool Bind(Proc& member, HMODULE module, const char* name) {
  const FARPROC address = GetProcAddress(module, name);
  static_assert(sizeof(Proc) == sizeof(FARPROC), "function pointers differ in size");
  std::memcpy(&member, &address, sizeof member);
  return address != nullptr;
}

}  // namespace

int BindHostApi(HostApi& api, const char* path) {
  const HMODULE module = LoadLibraryA(path);
  if (module == nullptr) return 0;
  // The plug-in keeps no reference of its own: the host keeps its module
  // loaded for as long as it uses the plug-in.
#define TAMSINK_HOST_BIND(name)            \
  if (!Bind(api.name, module, #name)) {    \
    FreeLibrary(module);                   \
    return 0;                              \
  }
#define TAMSINK_HOST_BIND_TYPED(name, result, params) TAMSINK_HOST_BIND(name)
  TAMSINK_HOST_ENTRY_POINTS(TAMSINK_HOST_BIND_TYPED, TAMSINK_HOST_BIND)
#undef TAMSINK_HOST_BIND_TYPED
#undef TAMSINK_HOST_BIND
  FreeLibrary(module);
  return 1;
}
