#include "shell/invocation.h"

#include "bake/texel_table.h"
#include "mesh/face_records.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"
#include "ui/main_dialog.h"
#include "ui/resource_ids.h"

namespace {

// MQDoc_ClearSelect flags: vertices, lines and faces.
constexpr unsigned kClearAllSelection = 7;

// The dialog's windows die with it; no stale handle stays in the state.
void ForgetDialogWindows() {
  for (HWND& page : g_plugin.pageWindows) page = nullptr;
  g_plugin.tabControl = nullptr;
  g_plugin.progressBar = nullptr;
}

// The two buffers of one invocation. Freeing none is harmless.
void FreeTableAndOccluders() {
  FreeTexelTable(g_plugin.texelTable);
  g_plugin.texelTable = nullptr;
  g_plugin.texelTableSize = 0;
  ReleaseOccluderSet();  // the array, its count and its hierarchy
}

}  // namespace

bool HostBindingUsable() {
  const HostApi& host = g_plugin.host;
#define TAMSINK_HOST_CHECK_TYPED(name, result, params) \
  if (host.name == nullptr) return false;
#define TAMSINK_HOST_SKIP_UNTYPED(name)
  TAMSINK_HOST_ENTRY_POINTS(TAMSINK_HOST_CHECK_TYPED, TAMSINK_HOST_SKIP_UNTYPED)
#undef TAMSINK_HOST_CHECK_TYPED
#undef TAMSINK_HOST_SKIP_UNTYPED
  return true;
}

void ReleaseInvocationBuffers() {
  FreeTableAndOccluders();
  g_plugin.host.MQ_RefreshView(nullptr);
}

void ReleaseLibraryBuffers() {
  FreeTableAndOccluders();
  ReleaseFaceRecords();
}

bool RunInvocation() {
  if (!HostBindingUsable()) return false;
  const HostApi& host = g_plugin.host;
  MQDocument document = g_plugin.document;

  host.MQDoc_Compact(document);
  GatherFaceRecords();
  HWND owner = host.MQ_GetWindowHandle();
  const INT_PTR result = DialogBoxParamA(g_plugin.moduleInstance, MAKEINTRESOURCEA(kIdMainDialog),
                                         owner, MainDialogProc, 0);
  ForgetDialogWindows();

  if (result == 1) {
    g_plugin.pixelImage.Release();
    ReleaseInvocationBuffers();
    host.MQDoc_Compact(document);
    return true;
  }
  // Closed, cancelled, or the dialog could not be created (-1).
  host.MQDoc_ClearSelect(document, kClearAllSelection);
  ReleaseInvocationBuffers();
  host.MQDoc_Compact(document);
  g_plugin.pixelImage.Release();
  return false;
}
