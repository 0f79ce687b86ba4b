// The seven entry points the host calls, under their undecorated names. Only
// C types cross this surface, and no exception ever escapes into the host.
// They are the library's only exports: everything else is compiled hidden,
// and the link step (a version script, or the .def file on Windows) exports
// these names alone.
#include "shell/host_api.h"
#include "shell/invocation.h"
#include "shell/plugin_state.h"
#include "win32.h"

#if defined(_WIN32)
#define TAMSINK_EXPORT
#else
#define TAMSINK_EXPORT __attribute__((visibility("default")))
#endif

namespace {

constexpr DWORD kPluginVersion = 561;
constexpr DWORD kProductId = 0x5A3C1E07u;
constexpr DWORD kPluginId = 0x6B2D4F19u;
constexpr int kObjectPluginType = 4;

constexpr char kPluginName[] = "Orvelle α 0.3";
constexpr char kMenuCommand[] = "Orvelle α";

}  // namespace

extern "C" {

TAMSINK_EXPORT DWORD MQAPI MQCheckVersion(DWORD /*hostVersion*/) { return kPluginVersion; }

TAMSINK_EXPORT void MQAPI MQGetPlugInID(DWORD* product, DWORD* id) {
  if (product != nullptr) *product = kProductId;
  if (id != nullptr) *id = kPluginId;
}

TAMSINK_EXPORT const char* MQAPI MQGetPlugInName(void) { return kPluginName; }

TAMSINK_EXPORT int MQAPI MQGetPlugInType(void) { return kObjectPluginType; }

// The plug-in has exactly one menu command.
TAMSINK_EXPORT const char* MQAPI MQEnumString(int index) {
  return index == 0 ? kMenuCommand : nullptr;
}

TAMSINK_EXPORT BOOL MQAPI MQInit(const char* hostModulePath) {
  try {
    return BindHostApi(g_plugin.host, hostModulePath) ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}

TAMSINK_EXPORT BOOL MQAPI MQModifyObject(int index, MQDocument document) {
  g_plugin.document = document;
  if (index != 0) return FALSE;
  try {
    return RunInvocation() ? TRUE : FALSE;
  } catch (...) {
    // Nothing in the invocation throws by design; should the standard library
    // ever do so (std::bad_alloc), the host still gets a plain answer.
    return FALSE;
  }
}

}  // extern "C"
