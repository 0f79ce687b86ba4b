// The stand-in window tree and the built-in behaviour of the control classes:
// what USER32 and COMCTL32 do by themselves when the plug-in sends a message
// to an edit, a button, a static, a tab control or a progress bar.
#include <algorithm>
#include <cstring>
#include <set>
#include <strings.h>

#include "window_internal.h"

namespace {

std::set<PlatformWindow*>& LiveWindows() {
  static std::set<PlatformWindow*> windows;
  return windows;
}

PlatformWindow* Live(HWND window) {
  PlatformWindow* w = window;
  return (w != nullptr && LiveWindows().count(w) != 0) ? w : nullptr;
}

ControlClass ClassOf(const char* className) {
  struct Entry {
    const char* name;
    ControlClass kind;
  };
  static const Entry kClasses[] = {
      {"#32770", ControlClass::kDialog},          {"EDIT", ControlClass::kEdit},
      {"BUTTON", ControlClass::kButton},          {"STATIC", ControlClass::kStatic},
      {"SysTabControl32", ControlClass::kTab},    {"msctls_progress32", ControlClass::kProgress},
  };
  for (const Entry& e : kClasses)
    if (strcasecmp(className, e.name) == 0) return e.kind;
  return ControlClass::kOther;
}

// Sends WM_COMMAND with a notification code to the control's parent, as the
// control classes do.
void NotifyParent(PlatformWindow* control, WORD code) {
  if (control->parent == nullptr) return;
  SendMessageA(control->parent, WM_COMMAND, MAKEWPARAM(control->id, code),
               reinterpret_cast<LPARAM>(control));
}

LRESULT TextMessage(PlatformWindow* w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  switch (message) {
    case WM_SETTEXT: {
      const char* text = reinterpret_cast<const char*>(lParam);
      w->text = text != nullptr ? text : "";
      // A single-line edit tells its parent about every change of its text,
      // also one made by the program.
      if (w->kind == ControlClass::kEdit) NotifyParent(w, EN_CHANGE);
      return TRUE;
    }
    case WM_GETTEXT: {
      char* buffer = reinterpret_cast<char*>(lParam);
      const size_t capacity = static_cast<size_t>(wParam);
      if (buffer == nullptr || capacity == 0) return 0;
      const size_t n = std::min(w->text.size(), capacity - 1);
      std::memcpy(buffer, w->text.data(), n);
      buffer[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
  }
  *handled = false;
  return 0;
}

LRESULT ButtonMessage(PlatformWindow* w, UINT message, WPARAM wParam, bool* handled) {
  *handled = true;
  switch (message) {
    case BM_GETCHECK:
      return w->check;
    case BM_SETCHECK:
      w->check = static_cast<UINT>(wParam);
      return 0;
    case BM_CLICK:
      // A disabled or hidden button cannot be clicked.
      if (!w->enabled) return 0;
      if ((w->style & BS_TYPEMASK) == BS_AUTOCHECKBOX)
        w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      if ((w->style & BS_TYPEMASK) != BS_GROUPBOX) NotifyParent(w, BN_CLICKED);
      return 0;
  }
  *handled = false;
  return 0;
}

LRESULT ProgressMessage(PlatformWindow* w, UINT message, WPARAM wParam, LPARAM lParam,
                        bool* handled) {
  *handled = true;
  const auto clampPosition = [w] {
    w->position = std::max(w->rangeMin, std::min(w->rangeMax, w->position));
  };
  switch (message) {
    case PBM_SETRANGE: {
      const LRESULT previous = MAKELPARAM(w->rangeMin, w->rangeMax);
      w->rangeMin = LOWORD(lParam);
      w->rangeMax = HIWORD(lParam);
      clampPosition();
      return previous;
    }
    case PBM_SETPOS: {
      const int previous = w->position;
      w->position = static_cast<int>(wParam);
      clampPosition();
      return previous;
    }
    case PBM_DELTAPOS: {
      const int previous = w->position;
      w->position += static_cast<int>(wParam);
      clampPosition();
      return previous;
    }
    case PBM_SETSTEP: {
      const int previous = w->step;
      w->step = static_cast<int>(wParam);
      return previous;
    }
    case PBM_STEPIT: {
      const int previous = w->position;
      w->position += w->step;
      // Past the maximum the bar starts over from the beginning.
      if (w->position > w->rangeMax) w->position = w->rangeMin;
      if (w->position < w->rangeMin) w->position = w->rangeMin;
      return previous;
    }
    case PBM_GETPOS:
      return w->position;
    case PBM_GETRANGE:
      return wParam ? w->rangeMin : w->rangeMax;
  }
  *handled = false;
  return 0;
}

// Pixel size of the tab row and the border, for TCM_ADJUSTRECT.
constexpr int kTabRowHeight = 20;
constexpr int kTabBorder = 2;

LRESULT TabMessage(PlatformWindow* w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  const int count = static_cast<int>(w->tabItems.size());
  switch (message) {
    case TCM_GETITEMCOUNT:
      return count;
    case TCM_INSERTITEMA: {
      const TCITEMA* item = reinterpret_cast<const TCITEMA*>(lParam);
      if (item == nullptr) return -1;
      const int index = std::max(0, std::min(static_cast<int>(wParam), count));
      const char* text = (item->mask & TCIF_TEXT) && item->pszText ? item->pszText : "";
      w->tabItems.insert(w->tabItems.begin() + index, text);
      if (w->currentTab < 0) w->currentTab = 0;  // the first item is selected
      else if (index <= w->currentTab) ++w->currentTab;
      return index;
    }
    case TCM_GETCURSEL:
      return w->currentTab;
    case TCM_SETCURSEL: {
      // Selecting programmatically sends no notification.
      const int previous = w->currentTab;
      const int index = static_cast<int>(wParam);
      if (index < 0 || index >= count) return -1;
      w->currentTab = index;
      return previous;
    }
    case TCM_ADJUSTRECT: {
      RECT* r = reinterpret_cast<RECT*>(lParam);
      if (r == nullptr) return 0;
      const int sign = wParam ? -1 : 1;  // TRUE: display to window rectangle
      r->left += sign * kTabBorder;
      r->right -= sign * kTabBorder;
      r->top += sign * (kTabRowHeight + kTabBorder);
      r->bottom -= sign * kTabBorder;
      return 0;
    }
  }
  *handled = false;
  return 0;
}

}  // namespace

HWND PlatformCreateWindow(HWND parent, const char* className, int id, const char* text, long style,
                          const RECT& rect, DLGPROC dialogProc) {
  PlatformWindow* p = Live(parent);
  if (parent != nullptr && p == nullptr) return nullptr;
  PlatformWindow* w = new PlatformWindow;
  w->parent = p;
  w->className = className != nullptr ? className : "";
  w->kind = dialogProc != nullptr ? ControlClass::kDialog : ClassOf(w->className.c_str());
  w->text = text != nullptr ? text : "";
  w->id = id;
  w->style = style;
  w->enabled = (style & WS_DISABLED) == 0;
  w->visible = (style & WS_VISIBLE) != 0;
  w->rect = rect;
  w->dialogProc = dialogProc;
  if (p != nullptr) p->children.push_back(w);
  LiveWindows().insert(w);
  return w;
}

void PlatformDestroyWindow(HWND window) {
  PlatformWindow* w = Live(window);
  if (w == nullptr) return;
  const std::vector<PlatformWindow*> children = w->children;
  for (PlatformWindow* child : children) PlatformDestroyWindow(child);
  if (w->parent != nullptr) {
    auto& siblings = w->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
  }
  LiveWindows().erase(w);
  delete w;
}

bool PlatformIsWindow(HWND window) { return Live(window) != nullptr; }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  PlatformWindow* w = Live(window);
  if (w == nullptr) return 0;
  bool handled = false;
  LRESULT result = 0;
  switch (w->kind) {
    case ControlClass::kDialog: {
      // The dialog procedure sees the message first; the dialog manager's own
      // handling of the text messages follows when it did not handle them.
      const INT_PTR processed = w->dialogProc(w, message, wParam, lParam);
      if (processed) return processed;
      return TextMessage(w, message, wParam, lParam, &handled);
    }
    case ControlClass::kButton:
      result = ButtonMessage(w, message, wParam, &handled);
      break;
    case ControlClass::kProgress:
      result = ProgressMessage(w, message, wParam, lParam, &handled);
      break;
    case ControlClass::kTab:
      result = TabMessage(w, message, wParam, lParam, &handled);
      break;
    default:
      break;
  }
  if (handled) return result;
  return TextMessage(w, message, wParam, lParam, &handled);
}

HWND GetDlgItem(HWND dialog, int id) {
  PlatformWindow* d = Live(dialog);
  if (d == nullptr) return nullptr;
  for (PlatformWindow* child : d->children)
    if (child->id == id) return child;
  return nullptr;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferSize) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) {
    if (buffer != nullptr && bufferSize > 0) buffer[0] = '\0';
    return 0;
  }
  if (bufferSize <= 0) return 0;
  return static_cast<UINT>(
      SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(bufferSize), reinterpret_cast<LPARAM>(buffer)));
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return FALSE;
  return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  PlatformWindow* w = Live(window);
  if (w == nullptr) return FALSE;
  const bool wasDisabled = !w->enabled;
  w->enabled = enable != FALSE;
  return wasDisabled ? TRUE : FALSE;  // nonzero when it was disabled before
}

BOOL ShowWindow(HWND window, int command) {
  PlatformWindow* w = Live(window);
  if (w == nullptr) return FALSE;
  const bool wasVisible = w->visible;
  w->visible = command != SW_HIDE;
  return wasVisible ? TRUE : FALSE;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) return FALSE;
  SendMessageA(button, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) return 0;
  return static_cast<UINT>(SendMessageA(button, BM_GETCHECK, 0, 0));
}
