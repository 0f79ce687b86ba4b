// The stand-in window manager's own data: a tree of windows, each a dialog, a
// host window of a registered class, or one of the control classes the
// plug-in's dialogs use (EDIT, BUTTON, STATIC, SysTabControl32,
// msctls_progress32). Shared by the files of this folder only; the plug-in
// and the host see nothing but HWND.
//
// Geometry: no window has a non-client area, so a window's client area is
// its whole rectangle. A child's rectangle is relative to its parent's client
// area, a top-level window's is in screen coordinates.
//
// Handles are never reused: a destroyed window's storage is kept (emptied),
// so a stale HWND stays invalid for the life of the process.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "win32.h"

enum class ControlClass { kDialog, kEdit, kButton, kStatic, kTab, kProgress, kOther };

struct PlatformWindow {
  PlatformWindow* parent = nullptr;  // child windows (WS_CHILD) only
  PlatformWindow* owner = nullptr;   // top-level windows only
  std::vector<PlatformWindow*> children;  // in creation (Z and tab) order
  ControlClass kind = ControlClass::kOther;
  std::string className;
  std::string text;
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  bool enabled = true;
  bool visible = false;
  RECT rect{};
  UINT check = BST_UNCHECKED;
  WNDPROC windowProc = nullptr;  // windows of a registered class
  WNDPROC subclassProc = nullptr;  // set with SetWindowLongPtrA(GWLP_WNDPROC)
  bool destroying = false;

  // Dialogs.
  DLGPROC dialogProc = nullptr;
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;
  PlatformWindow* disabledOwner = nullptr;  // the owner a modal dialog disabled
  int defaultId = 0;                        // set by DM_SETDEFID, 0 for none

  // Edits: the selection, in bytes; a caret is an empty selection.
  size_t selectionStart = 0;
  size_t selectionEnd = 0;
  int pendingLeadByte = -1;  // first byte of a double-byte character typed

  // Progress bar.
  int rangeMin = 0, rangeMax = 100, position = 0, step = 10;

  // Tab control.
  std::vector<std::string> tabItems;
  int currentTab = -1;
};

struct PlatformWindowSpec {
  HWND parent = nullptr;  // for a child window
  HWND owner = nullptr;   // for a top-level window
  const char* className = "";
  int id = 0;
  const char* text = "";
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};
  DLGPROC dialogProc = nullptr;
  WNDPROC windowProc = nullptr;
};

// Creates a window; null when the parent is not a live window. No message is
// sent. The window belongs to the tree until PlatformDestroyWindow.
HWND PlatformCreateWindow(const PlatformWindowSpec& params);
// DestroyWindow: the window, the windows it owns and its children.
void PlatformDestroyWindow(HWND window);
// The window behind a handle, or null when it is not a live window.
PlatformWindow* PlatformLive(HWND window);
bool PlatformIsWindow(HWND window);
// Whether windows of this class can be created: a built-in control class,
// the dialog class "#32770" or a class registered with RegisterClassA.
bool PlatformIsKnownClass(const char* className);

// Something that can change what the user sees (a posted or sent message
// other than a query, a focus, enable, show, move, create or destroy). The
// modal loop counts these to tell a driven dialog from an abandoned one.
void PlatformNoteAction();
unsigned long PlatformActionCount();

// The dialog manager (dialog.cpp): the default handling of a dialog's
// messages when its procedure returns FALSE, and dropping the posted
// messages of a window that is destroyed.
LRESULT PlatformDefaultDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void PlatformForgetPostedMessages(HWND window);
