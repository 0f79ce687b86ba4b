// The stand-in window tree and the built-in behaviour of the window classes:
// what USER32 and COMCTL32 do by themselves when a program sends a message to
// an edit, a button, a static, a tab control, a progress bar, a dialog or a
// window of a registered class; focus, enabling, showing and geometry.
//
// Decided here where the documentation leaves room:
// - edits send EN_CHANGE (no EN_UPDATE) for every change of their text, also
//   one made by the program, and EN_SETFOCUS / EN_KILLFOCUS;
// - WM_SETTEXT leaves an edit's caret at the start, as the real control does;
// - WM_CHAR typed into an edit replaces the selection; a code page 932 lead
//   byte waits for its trail byte; Backspace deletes the selection or the
//   character before the caret; other control characters are ignored;
// - hiding or disabling a window that holds the focus moves the focus to its
//   parent (a child window) or to nobody (a top-level window).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <strings.h>

#include "platform_hooks.h"
#include "window_internal.h"

namespace {

// The tables below are never destroyed: windows may still be created or
// destroyed by other libraries' exit code, after this one's statics would be
// gone.
std::set<PlatformWindow*>& LiveWindows() {
  static auto* windows = new std::set<PlatformWindow*>;
  return *windows;
}

// Top-level windows in creation order, for GetWindow.
std::vector<PlatformWindow*>& TopLevelWindows() {
  static auto* windows = new std::vector<PlatformWindow*>;
  return *windows;
}

// Destroyed windows, kept so that their handles are never handed out again.
std::vector<PlatformWindow*>& DestroyedWindows() {
  static auto* windows = new std::vector<PlatformWindow*>;
  return *windows;
}

std::string UpperCase(const char* text) {
  std::string upper = text != nullptr ? text : "";
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

// Registered window classes by upper-case name: class names compare without
// regard to case.
std::map<std::string, WNDCLASSA>& RegisteredClasses() {
  static auto* classes = new std::map<std::string, WNDCLASSA>;
  return *classes;
}

PlatformWindow* g_focus = nullptr;
unsigned long g_actions = 0;
ATOM g_nextAtom = 0xC000;

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
  if (className == nullptr) return ControlClass::kOther;
  for (const Entry& e : kClasses)
    if (strcasecmp(className, e.name) == 0) return e.kind;
  return ControlClass::kOther;
}

// Messages that only ask: they change nothing the user could see.
bool IsQuery(UINT message) {
  switch (message) {
    case WM_NULL:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_GETDLGCODE:
    case WM_ENTERIDLE:
    case BM_GETCHECK:
    case BM_GETSTATE:
    case EM_GETSEL:
    case DM_GETDEFID:
    case TCM_GETITEMCOUNT:
    case TCM_GETITEMA:
    case TCM_GETCURSEL:
    case TCM_ADJUSTRECT:
    case PBM_GETPOS:
    case PBM_GETRANGE:
      return true;
  }
  return false;
}

bool IsInside(const PlatformWindow* ancestor, const PlatformWindow* w) {
  for (; w != nullptr; w = w->parent)
    if (w == ancestor) return true;
  return false;
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

bool IsCp932LeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

void ClampSelection(PlatformWindow* w) {
  const size_t size = w->text.size();
  w->selectionStart = std::min(w->selectionStart, size);
  w->selectionEnd = std::min(w->selectionEnd, size);
  if (w->selectionStart > w->selectionEnd) std::swap(w->selectionStart, w->selectionEnd);
}

// Replaces the edit's selection and leaves the caret after the new text.
void ReplaceSelection(PlatformWindow* w, const std::string& text) {
  ClampSelection(w);
  w->text.replace(w->selectionStart, w->selectionEnd - w->selectionStart, text);
  w->selectionStart += text.size();
  w->selectionEnd = w->selectionStart;
  NotifyParent(w, EN_CHANGE);
}

void TypeCharacter(PlatformWindow* w, unsigned char c) {
  if (w->style & ES_READONLY) return;
  if (w->pendingLeadByte >= 0) {
    const std::string pair{static_cast<char>(w->pendingLeadByte), static_cast<char>(c)};
    w->pendingLeadByte = -1;
    if (!(w->style & ES_NUMBER)) ReplaceSelection(w, pair);
    return;
  }
  if (c == VK_BACK) {
    ClampSelection(w);
    if (w->selectionStart == w->selectionEnd) {
      if (w->selectionStart == 0) return;
      // Step back over whole characters: a lead byte takes its trail along.
      size_t previous = 0;
      for (size_t i = 0; i < w->selectionEnd;) {
        previous = i;
        i += (IsCp932LeadByte(static_cast<unsigned char>(w->text[i])) && i + 1 < w->text.size())
                 ? 2 : 1;
      }
      w->selectionStart = previous;
    }
    ReplaceSelection(w, "");
    return;
  }
  if (c < 0x20 || c == 0x7F) return;  // Enter, Escape, Tab and control keys
  if (IsCp932LeadByte(c)) {
    w->pendingLeadByte = c;
    return;
  }
  if ((w->style & ES_NUMBER) && (c < '0' || c > '9')) return;
  char typed = static_cast<char>(c);
  if ((w->style & ES_UPPERCASE) && typed >= 'a' && typed <= 'z') typed = static_cast<char>(typed - 'a' + 'A');
  if ((w->style & ES_LOWERCASE) && typed >= 'A' && typed <= 'Z') typed = static_cast<char>(typed - 'A' + 'a');
  ReplaceSelection(w, std::string(1, typed));
}

LRESULT EditMessage(PlatformWindow* w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  switch (message) {
    case WM_SETTEXT: {
      const char* text = reinterpret_cast<const char*>(lParam);
      w->text = text != nullptr ? text : "";
      w->selectionStart = w->selectionEnd = 0;
      w->pendingLeadByte = -1;
      // A single-line edit tells its parent about every change of its text,
      // also one made by the program.
      NotifyParent(w, EN_CHANGE);
      return TRUE;
    }
    case WM_CHAR:
      TypeCharacter(w, static_cast<unsigned char>(wParam & 0xFF));
      return 0;
    case EM_SETSEL: {
      const long long size = static_cast<long long>(w->text.size());
      long long start = static_cast<int>(wParam);
      long long end = static_cast<int>(lParam);
      if (start == -1) {
        // Deselects, leaving the caret where the selection ended.
        ClampSelection(w);
        w->selectionStart = w->selectionEnd;
        return 0;
      }
      if (start < 0 || start > size) start = size;
      if (end < 0 || end > size) end = size;
      if (start > end) std::swap(start, end);
      w->selectionStart = static_cast<size_t>(start);
      w->selectionEnd = static_cast<size_t>(end);
      return 0;
    }
    case EM_GETSEL: {
      ClampSelection(w);
      if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(w->selectionStart);
      if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(w->selectionEnd);
      if (w->selectionEnd > 0xFFFF) return -1;
      return static_cast<LRESULT>(MAKELPARAM(w->selectionStart, w->selectionEnd));
    }
    case EM_REPLACESEL: {
      const char* text = reinterpret_cast<const char*>(lParam);
      if (!(w->style & ES_READONLY)) ReplaceSelection(w, text != nullptr ? text : "");
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS |
             ((w->style & ES_MULTILINE) ? DLGC_WANTALLKEYS : 0);
    case WM_SETFOCUS:
      NotifyParent(w, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      NotifyParent(w, EN_KILLFOCUS);
      return 0;
  }
  *handled = false;
  return 0;
}

LRESULT ButtonMessage(PlatformWindow* w, UINT message, WPARAM wParam, bool* handled) {
  *handled = true;
  const DWORD type = w->style & BS_TYPEMASK;
  switch (message) {
    case BM_GETCHECK:
      return w->check;
    case BM_SETCHECK:
      w->check = static_cast<UINT>(wParam);
      return 0;
    case BM_SETSTYLE:
      w->style = (w->style & 0xFFFF0000u) | LOWORD(wParam);
      return 0;
    case BM_CLICK:
      // A disabled button cannot be clicked.
      if (!w->enabled) return 0;
      if (type == BS_GROUPBOX) return 0;  // a frame, not a button
      // The press gives the button the focus, the release checks and notifies.
      SetFocus(w);
      if (!PlatformIsWindow(w)) return 0;
      if (type == BS_AUTOCHECKBOX)
        w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      NotifyParent(w, BN_CLICKED);
      return 0;
    case WM_GETDLGCODE:
      if (type == BS_GROUPBOX) return DLGC_STATIC;
      if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) return DLGC_BUTTON | DLGC_RADIOBUTTON;
      return DLGC_BUTTON;
    case WM_SETFOCUS:
      if (w->style & BS_NOTIFY) NotifyParent(w, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      if (w->style & BS_NOTIFY) NotifyParent(w, BN_KILLFOCUS);
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
    case TCM_GETITEMA: {
      TCITEMA* item = reinterpret_cast<TCITEMA*>(lParam);
      const int index = static_cast<int>(wParam);
      if (item == nullptr || index < 0 || index >= count) return FALSE;
      if ((item->mask & TCIF_TEXT) && item->pszText != nullptr && item->cchTextMax > 0) {
        const std::string& text = w->tabItems[static_cast<size_t>(index)];
        const size_t n = std::min(text.size(), static_cast<size_t>(item->cchTextMax) - 1);
        std::memcpy(item->pszText, text.data(), n);
        item->pszText[n] = '\0';
      }
      return TRUE;
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

LRESULT StaticMessage(UINT message, bool* handled) {
  *handled = message == WM_GETDLGCODE;
  return *handled ? DLGC_STATIC : 0;
}

// Messages whose result a dialog procedure returns itself; for every other
// message the procedure's TRUE means "handled" and the result is the
// dialog's message result, which the stand-in keeps at 0.
bool DialogProcedureReturnsResult(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case 0x002E:  // WM_VKEYTOITEM
    case 0x002F:  // WM_CHARTOITEM
    case 0x0037:  // WM_QUERYDRAGICON
    case 0x0039:  // WM_COMPAREITEM
      return true;
  }
  return message >= 0x0132 && message <= 0x0138;  // WM_CTLCOLOR*
}

// The window's own class procedure, beneath any subclass.
LRESULT DeliverToClass(PlatformWindow* w, UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT result = 0;
  switch (w->kind) {
    case ControlClass::kDialog: {
      if (w->dialogProc != nullptr) {
        const INT_PTR processed = w->dialogProc(w, message, wParam, lParam);
        if (processed) return DialogProcedureReturnsResult(message) ? processed : 0;
        if (!PlatformIsWindow(w)) return 0;
      }
      return PlatformDefaultDialogMessage(w, message, wParam, lParam);
    }
    case ControlClass::kOther:
      if (w->windowProc != nullptr) return w->windowProc(w, message, wParam, lParam);
      break;
    case ControlClass::kEdit:
      result = EditMessage(w, message, wParam, lParam, &handled);
      break;
    case ControlClass::kButton:
      result = ButtonMessage(w, message, wParam, &handled);
      break;
    case ControlClass::kStatic:
      result = StaticMessage(message, &handled);
      break;
    case ControlClass::kProgress:
      result = ProgressMessage(w, message, wParam, lParam, &handled);
      break;
    case ControlClass::kTab:
      result = TabMessage(w, message, wParam, lParam, &handled);
      break;
  }
  if (handled) return result;
  return DefWindowProcA(w, message, wParam, lParam);
}

// What GWLP_WNDPROC reads for a window that is not subclassed.
LRESULT ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  PlatformWindow* w = PlatformLive(window);
  return w != nullptr ? DeliverToClass(w, message, wParam, lParam) : 0;
}

LRESULT Deliver(PlatformWindow* w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (w->subclassProc != nullptr) return w->subclassProc(w, message, wParam, lParam);
  return DeliverToClass(w, message, wParam, lParam);
}

// Screen position of a window's client area (which is the whole window).
POINT ClientOrigin(const PlatformWindow* w) {
  long long x = 0, y = 0;
  for (; w != nullptr; w = w->parent) {
    x += w->rect.left;
    y += w->rect.top;
  }
  const auto clamp = [](long long v) {
    return static_cast<LONG>(std::max<long long>(INT32_MIN, std::min<long long>(INT32_MAX, v)));
  };
  return POINT{clamp(x), clamp(y)};
}

LONG ClampedSum(LONG a, long long b) {
  const long long sum = static_cast<long long>(a) + b;
  return static_cast<LONG>(std::max<long long>(INT32_MIN, std::min<long long>(INT32_MAX, sum)));
}

// Moves the focus off a window that is about to be hidden, disabled or
// destroyed.
void ReleaseFocusFrom(PlatformWindow* w) {
  if (g_focus == nullptr || !IsInside(w, g_focus)) return;
  SetFocus(w->parent);
}

}  // namespace

void PlatformNoteAction() { ++g_actions; }
unsigned long PlatformActionCount() { return g_actions; }

PlatformWindow* PlatformLive(HWND window) {
  PlatformWindow* w = window;
  return (w != nullptr && LiveWindows().count(w) != 0) ? w : nullptr;
}

bool PlatformIsWindow(HWND window) { return PlatformLive(window) != nullptr; }

bool PlatformIsKnownClass(const char* className) {
  if (className == nullptr) return false;
  return ClassOf(className) != ControlClass::kOther ||
         RegisteredClasses().count(UpperCase(className)) != 0;
}

int PlatformLiveWindowCount() { return static_cast<int>(LiveWindows().size()); }

HWND PlatformCreateWindow(const PlatformWindowSpec& params) {
  PlatformWindow* parent = PlatformLive(params.parent);
  if (params.parent != nullptr && parent == nullptr) return nullptr;
  PlatformWindow* w = new PlatformWindow;
  w->parent = parent;
  w->owner = parent == nullptr ? PlatformLive(params.owner) : nullptr;
  w->className = params.className != nullptr ? params.className : "";
  w->kind = params.dialogProc != nullptr ? ControlClass::kDialog : ClassOf(w->className.c_str());
  w->text = params.text != nullptr ? params.text : "";
  w->id = params.id;
  w->style = params.style;
  w->exStyle = params.exStyle;
  w->enabled = (params.style & WS_DISABLED) == 0;
  w->visible = (params.style & WS_VISIBLE) != 0;
  w->rect = params.rect;
  w->dialogProc = params.dialogProc;
  w->windowProc = params.windowProc;
  if (parent != nullptr) parent->children.push_back(w);
  else TopLevelWindows().push_back(w);
  LiveWindows().insert(w);
  PlatformNoteAction();
  return w;
}

void PlatformDestroyWindow(HWND window) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr || w->destroying) return;
  w->destroying = true;
  PlatformNoteAction();
  ReleaseFocusFrom(w);
  // Owned windows go first, then the window itself is told, then its
  // children, as the system does.
  std::vector<PlatformWindow*> owned;
  for (PlatformWindow* other : TopLevelWindows())
    if (other->owner == w) owned.push_back(other);
  for (PlatformWindow* other : owned) PlatformDestroyWindow(other);
  SendMessageA(w, WM_DESTROY, 0, 0);
  const std::vector<PlatformWindow*> children = w->children;
  for (PlatformWindow* child : children) PlatformDestroyWindow(child);
  SendMessageA(w, WM_NCDESTROY, 0, 0);
  // A modal dialog destroyed before it ended gives its owner back.
  if (w->disabledOwner != nullptr && PlatformIsWindow(w->disabledOwner)) {
    w->disabledOwner->enabled = true;
  }
  if (g_focus == w) g_focus = nullptr;
  if (w->parent != nullptr) {
    auto& siblings = w->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
  } else {
    auto& tops = TopLevelWindows();
    tops.erase(std::remove(tops.begin(), tops.end(), w), tops.end());
  }
  // Windows that named this one as owner or parent forget it.
  for (PlatformWindow* other : LiveWindows()) {
    if (other->owner == w) other->owner = nullptr;
    if (other->disabledOwner == w) other->disabledOwner = nullptr;
  }
  LiveWindows().erase(w);
  PlatformForgetPostedMessages(w);
  // Keep the (emptied) storage so the handle is never reused.
  *w = PlatformWindow();
  w->destroying = true;
  DestroyedWindows().push_back(w);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return 0;
  if (!IsQuery(message)) PlatformNoteAction();
  return Deliver(w, message, wParam, lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(w);
      return 0;
    case WM_SYSCOMMAND:
      // The close box, Alt+F4 and the system menu's Close all arrive here.
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(w, WM_CLOSE, 0, 0);
      return 0;
  }
  bool handled = false;
  const LRESULT result = TextMessage(w, message, wParam, lParam, &handled);
  return handled ? result : 0;
}

HWND GetDlgItem(HWND dialog, int id) {
  PlatformWindow* d = PlatformLive(dialog);
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
  if (buffer == nullptr || bufferSize <= 0) return 0;
  return static_cast<UINT>(SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(bufferSize),
                                        reinterpret_cast<LPARAM>(buffer)));
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return FALSE;
  return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
  if (translated != nullptr) *translated = FALSE;
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return 0;
  std::string text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1, '\0');
  GetWindowTextA(control, &text[0], static_cast<int>(text.size()));
  // Leading spaces are skipped and the number ends at the first character
  // that is not a decimal digit.
  const char* p = text.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (isSigned && (*p == '-' || *p == '+')) negative = *p++ == '-';
  if (*p < '0' || *p > '9') return 0;
  unsigned long long value = 0;
  const unsigned long long limit = isSigned ? (negative ? 2147483648ULL : 2147483647ULL) : 4294967295ULL;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > limit) return 0;
  }
  if (translated != nullptr) *translated = TRUE;
  if (negative) return static_cast<UINT>(0u - static_cast<UINT>(value));
  return static_cast<UINT>(value);
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  char text[16];
  if (isSigned) std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  else std::snprintf(text, sizeof text, "%u", value);
  return SetDlgItemTextA(dialog, id, text);
}

BOOL EnableWindow(HWND window, BOOL enable) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return FALSE;
  PlatformNoteAction();
  const bool wasDisabled = !w->enabled;
  if (!enable) ReleaseFocusFrom(w);
  w->enabled = enable != FALSE;
  return wasDisabled ? TRUE : FALSE;  // nonzero when it was disabled before
}

BOOL ShowWindow(HWND window, int command) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return FALSE;
  PlatformNoteAction();
  const bool wasVisible = w->visible;
  if (command == SW_HIDE) ReleaseFocusFrom(w);
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

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || windowClass->lpszClassName[0] == '\0')
    return 0;
  const std::string key = UpperCase(windowClass->lpszClassName);
  if (ClassOf(windowClass->lpszClassName) != ControlClass::kOther) return 0;  // system class
  if (RegisteredClasses().count(key) != 0) return 0;  // already registered
  WNDCLASSA stored = *windowClass;
  stored.lpszClassName = nullptr;  // the caller's string need not outlive the call
  stored.lpszMenuName = nullptr;
  RegisteredClasses()[key] = stored;
  return g_nextAtom++;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (className == nullptr) return FALSE;
  const std::string key = UpperCase(className);
  for (PlatformWindow* w : LiveWindows())
    if (UpperCase(w->className.c_str()) == key) return FALSE;  // still in use
  return RegisteredClasses().erase(key) != 0 ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (className == nullptr || reinterpret_cast<uintptr_t>(className) <= 0xFFFF) return nullptr;
  if (!PlatformIsKnownClass(className)) return nullptr;
  if (parent != nullptr && !PlatformIsWindow(parent)) return nullptr;
  const bool child = (style & WS_CHILD) != 0;
  if (child && parent == nullptr) return nullptr;  // a child needs a parent
  // Default placement for top-level windows.
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) {
    width = 640;
    height = 480;
  }
  PlatformWindowSpec params;
  params.parent = child ? parent : nullptr;
  params.owner = child ? nullptr : parent;
  params.className = className;
  params.id = child ? static_cast<int>(reinterpret_cast<intptr_t>(menu)) : 0;
  params.text = windowName;
  params.style = style;
  params.exStyle = exStyle;
  params.rect = RECT{x, y, ClampedSum(x, std::max(0, width)), ClampedSum(y, std::max(0, height))};
  const auto found = RegisteredClasses().find(UpperCase(className));
  if (found != RegisteredClasses().end()) params.windowProc = found->second.lpfnWndProc;
  HWND window = PlatformCreateWindow(params);
  if (window == nullptr || params.windowProc == nullptr) return window;
  CREATESTRUCTA create{};
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.hMenu = menu;
  create.hwndParent = parent;
  create.cx = width;
  create.cy = height;
  create.x = x;
  create.y = y;
  create.style = static_cast<LONG>(style);
  create.lpszName = windowName;
  create.lpszClass = className;
  create.dwExStyle = exStyle;
  const LPARAM createParam = reinterpret_cast<LPARAM>(&create);
  if (!SendMessageA(window, WM_NCCREATE, 0, createParam) ||
      (PlatformIsWindow(window) && SendMessageA(window, WM_CREATE, 0, createParam) == -1)) {
    DestroyWindow(window);
    return nullptr;
  }
  return PlatformIsWindow(window) ? window : nullptr;
}

BOOL DestroyWindow(HWND window) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr || w->destroying) return FALSE;
  PlatformDestroyWindow(w);
  return TRUE;
}

BOOL IsWindow(HWND window) { return PlatformIsWindow(window) ? TRUE : FALSE; }

BOOL IsWindowEnabled(HWND window) {
  PlatformWindow* w = PlatformLive(window);
  return (w != nullptr && w->enabled) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return FALSE;
  // Visible only when every ancestor is visible too.
  for (; w != nullptr; w = w->parent)
    if (!w->visible) return FALSE;
  return TRUE;
}

HWND GetParent(HWND window) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return nullptr;
  if (w->parent != nullptr) return w->parent;
  // A pop-up window answers with its owner.
  return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND GetWindow(HWND window, UINT relation) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return nullptr;
  if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (relation == GW_OWNER) return w->owner;
  const std::vector<PlatformWindow*>& siblings =
      w->parent != nullptr ? w->parent->children : TopLevelWindows();
  const auto at = std::find(siblings.begin(), siblings.end(), w);
  if (at == siblings.end()) return nullptr;
  switch (relation) {
    case GW_HWNDFIRST:
      return siblings.front();
    case GW_HWNDLAST:
      return siblings.back();
    case GW_HWNDNEXT:
      return at + 1 == siblings.end() ? nullptr : *(at + 1);
    case GW_HWNDPREV:
      return at == siblings.begin() ? nullptr : *(at - 1);
  }
  return nullptr;
}

int GetDlgCtrlID(HWND window) {
  PlatformWindow* w = PlatformLive(window);
  return (w != nullptr && w->parent != nullptr) ? w->id : 0;
}

LONG GetWindowLongA(HWND window, int index) {
  return static_cast<LONG>(GetWindowLongPtrA(window, index));
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return 0;
  switch (index) {
    case GWL_STYLE: {
      // The visibility and enabled bits follow ShowWindow and EnableWindow.
      DWORD style = w->style & ~static_cast<DWORD>(WS_VISIBLE | WS_DISABLED);
      if (w->visible) style |= WS_VISIBLE;
      if (!w->enabled) style |= WS_DISABLED;
      return static_cast<LONG_PTR>(static_cast<LONG>(style));
    }
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWLP_ID:
      return w->parent != nullptr ? w->id : 0;
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->subclassProc != nullptr ? w->subclassProc : &ClassWindowProc);
  }
  return 0;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr || index != GWLP_WNDPROC || value == 0) return 0;
  const LONG_PTR previous = GetWindowLongPtrA(window, GWLP_WNDPROC);
  WNDPROC proc = reinterpret_cast<WNDPROC>(value);
  w->subclassProc = proc == &ClassWindowProc ? nullptr : proc;
  return previous;
}

LRESULT CallWindowProcA(WNDPROC previous, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return previous != nullptr ? previous(window, message, wParam, lParam) : 0;
}

int GetClassNameA(HWND window, LPSTR className, int maxCount) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr || className == nullptr || maxCount <= 0) return 0;
  const size_t n = std::min(w->className.size(), static_cast<size_t>(maxCount) - 1);
  std::memcpy(className, w->className.data(), n);
  className[n] = '\0';
  return static_cast<int>(n);
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  if (text == nullptr || maxCount <= 0) return 0;
  text[0] = '\0';
  if (!PlatformIsWindow(window)) return 0;
  return static_cast<int>(
      SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthA(HWND window) {
  return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  if (!PlatformIsWindow(window)) return FALSE;
  return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

HWND SetFocus(HWND window) {
  PlatformWindow* target = nullptr;
  if (window != nullptr) {
    target = PlatformLive(window);
    if (target == nullptr) return nullptr;
  }
  PlatformWindow* previous = g_focus;
  if (target == previous) return previous;
  PlatformNoteAction();
  g_focus = target;
  if (previous != nullptr && PlatformIsWindow(previous))
    SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(target), 0);
  if (target != nullptr && g_focus == target && PlatformIsWindow(target))
    SendMessageA(target, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

HWND GetFocus() { return PlatformIsWindow(g_focus) ? g_focus : nullptr; }

BOOL IsChild(HWND parent, HWND window) {
  PlatformWindow* p = PlatformLive(parent);
  PlatformWindow* w = PlatformLive(window);
  if (p == nullptr || w == nullptr || w == p) return FALSE;
  return IsInside(p, w) ? TRUE : FALSE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  const POINT origin = ClientOrigin(w);
  *rect = RECT{origin.x, origin.y, ClampedSum(origin.x, static_cast<long long>(w->rect.right) - w->rect.left),
               ClampedSum(origin.y, static_cast<long long>(w->rect.bottom) - w->rect.top)};
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  PlatformWindow* f = PlatformLive(from);
  PlatformWindow* t = PlatformLive(to);
  // Null stands for the screen.
  if ((from != nullptr && f == nullptr) || (to != nullptr && t == nullptr)) return 0;
  const POINT fromOrigin = f != nullptr ? ClientOrigin(f) : POINT{0, 0};
  const POINT toOrigin = t != nullptr ? ClientOrigin(t) : POINT{0, 0};
  const long long dx = static_cast<long long>(fromOrigin.x) - toOrigin.x;
  const long long dy = static_cast<long long>(fromOrigin.y) - toOrigin.y;
  if (points != nullptr) {
    for (UINT i = 0; i < count; ++i) {
      points[i].x = ClampedSum(points[i].x, dx);
      points[i].y = ClampedSum(points[i].y, dy);
    }
  }
  // The low word holds the horizontal shift, the high word the vertical one.
  return static_cast<int>(MAKELPARAM(static_cast<WORD>(dx & 0xFFFF), static_cast<WORD>(dy & 0xFFFF)));
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  PlatformWindow* w = PlatformLive(window);
  if (w == nullptr) return FALSE;
  PlatformNoteAction();
  w->rect = RECT{x, y, ClampedSum(x, std::max(0, width)), ClampedSum(y, std::max(0, height))};
  return TRUE;
}
