// The windows a bake pass drives, for benchmarks: a dialog (class
// "#32770", a procedure that handles nothing) with the progress bar, which
// becomes g_plugin.progressBar, and the elapsed-time label.
#pragma once

#include "bake/bake_pass.h"
#include "shell/plugin_state.h"
#include "window_internal.h"

inline HWND MakeBakeWindows() {
  PlatformWindowSpec params;
  params.className = "#32770";
  params.dialogProc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
  const HWND dialog = PlatformCreateWindow(params);
  params = PlatformWindowSpec{};
  params.parent = dialog;
  params.className = "msctls_progress32";
  params.id = 1019;
  g_plugin.progressBar = PlatformCreateWindow(params);
  params.className = "STATIC";
  params.id = kElapsedLabelId;
  PlatformCreateWindow(params);
  return dialog;
}
