// The library entry: records the module instance, the source of the dialog
// templates, when the library is loaded. On Windows that is DllMain; elsewhere
// a load-time constructor finds the library's own module by the address of
// one of its functions and hands the stand-in platform the library's embedded
// resource script under that instance.
#include "shell/invocation.h"
#include "shell/plugin_state.h"
#include "win32.h"

#if defined(_WIN32)

// Stores the instance on every call, whatever the reason. When the host
// unloads the library (not when the process ends, where the system reclaims
// everything) the buffers that outlive the invocations are freed.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  g_plugin.moduleInstance = instance;
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) ReleaseLibraryBuffers();
  return TRUE;
}

#else

#include <dlfcn.h>

#include "embedded_resource_script.h"
#include "platform_hooks.h"

namespace {

// The load address identifies this library among the modules of the
// process, as its instance handle does on Windows.
__attribute__((constructor)) void RecordModuleInstance() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&RecordModuleInstance), &info) == 0) return;
  g_plugin.moduleInstance = static_cast<HINSTANCE>(info.dli_fbase);
  PlatformRegisterResourceScript(g_plugin.moduleInstance, kEmbeddedResourceScript,
                                 kEmbeddedResourceScriptSize);
}

// The templates go with the library: a later library loaded at the same
// address must not find them. The buffers that outlive the invocations go
// too.
__attribute__((destructor)) void ReleaseModule() {
  ReleaseLibraryBuffers();
  if (g_plugin.moduleInstance != nullptr) PlatformUnregisterResourceScript(g_plugin.moduleInstance);
}

}  // namespace

#endif
