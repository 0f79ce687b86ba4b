// The stand-in window manager's own data: a tree of windows, each a dialog or
// one of the control classes the plug-in's dialogs use (EDIT, BUTTON, STATIC,
// SysTabControl32, msctls_progress32). Shared by the files of this folder
// only; the plug-in sees nothing but HWND.
#pragma once

#include <string>
#include <vector>

#include "win32.h"

// Window styles the stand-in interprets.
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_TABSTOP 0x00010000L
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_AUTOCHECKBOX 0x3L
#define BS_GROUPBOX 0x7L
#define BS_TYPEMASK 0xFL

enum class ControlClass { kDialog, kEdit, kButton, kStatic, kTab, kProgress, kOther };

struct PlatformWindow {
  PlatformWindow* parent = nullptr;
  std::vector<PlatformWindow*> children;  // in creation (tab) order
  ControlClass kind = ControlClass::kOther;
  std::string className;
  std::string text;
  int id = 0;
  long style = 0;
  bool enabled = true;
  bool visible = false;
  RECT rect{};  // in pixels, relative to the parent's client area
  UINT check = BST_UNCHECKED;

  // Dialogs.
  DLGPROC dialogProc = nullptr;
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;

  // Progress bar.
  int rangeMin = 0, rangeMax = 100, position = 0, step = 10;

  // Tab control.
  std::vector<std::string> tabItems;
  int currentTab = -1;
};

// Creates a window as a child of `parent` (null for a top-level window); a
// dialog has a dialog procedure. The window belongs to the tree until
// PlatformDestroyWindow.
HWND PlatformCreateWindow(HWND parent, const char* className, int id, const char* text, long style,
                          const RECT& rect, DLGPROC dialogProc);
// Destroys a window and all its children.
void PlatformDestroyWindow(HWND window);
// Whether `window` is a live window of the tree.
bool PlatformIsWindow(HWND window);
