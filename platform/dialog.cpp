// The stand-in dialog manager: dialogs made from the registered templates,
// the per-process message queue, the modal loop with its idle signal, the
// keyboard interface of dialogs and the default handling of a dialog's
// messages.
//
// The modal loop follows the documented order: it delivers posted messages
// one at a time, and whenever the queue is empty it shows the dialog (the
// first time) and sends WM_ENTERIDLE (MSGF_DIALOGBOX, the dialog's handle) to
// the owner, which is how a host drives a dialog without a person. Where the
// real loop would then wait for input, the stand-in has no other source of
// messages, so it sends WM_ENTERIDLE again; a dialog nobody drives is given
// up after a bounded number of idle rounds (platform_hooks.h) and
// DialogBoxParamA returns -1, the result of a dialog that could not be run.
//
// Decided here where the documentation leaves room:
// - an invalid owner makes DialogBoxParamA return 0, a missing template or a
//   control of an unknown class -1 (unless the template has DS_NOFAILCREATE);
// - the dialog's position is relative to the owner's client area (screen
//   coordinates with DS_ABSALIGN or without an owner); DS_CENTER is ignored;
// - no WM_SETFONT is sent: the base units are fixed (platform_hooks.h);
// - Enter presses the focused push button only when it is the default push
//   button (BS_DEFPUSHBUTTON), and its command then goes to the dialog that
//   took the key; SetFocus alone does not make a button the default, so
//   Enter on an ordinary focused push button sends the dialog's default
//   command, or IDOK without one, as the real dialog manager does; Escape sends IDCANCEL unless a disabled IDCANCEL control
//   exists; Tab moves the focus to the next tab stop (Shift is not seen);
// - EndDialog on a modeless dialog marks it ended and hides it; it stays a
//   window until it, or its parent, is destroyed.
#include <algorithm>
#include <deque>

#include "platform_hooks.h"
#include "resource_script.h"
#include "window_internal.h"

namespace {

// Never destroyed, like the window tables.
std::deque<MSG>& Queue() {
  static auto* queue = new std::deque<MSG>;
  return *queue;
}

int g_maxFruitlessRounds = kPlatformDefaultFruitlessIdleRounds;
int g_maxRounds = kPlatformDefaultIdleRounds;
int g_abandonedDialogs = 0;

// MulDiv: the product over the divisor, rounded to nearest, halves away
// from zero.
int DialogUnitsToPixels(int units, int base, int divisor) {
  const long long product = static_cast<long long>(units) * base;
  const long long half = divisor / 2;
  const long long pixels = product >= 0 ? (product + half) / divisor : -((-product + half) / divisor);
  return static_cast<int>(pixels);
}

bool IsInside(const PlatformWindow* ancestor, const PlatformWindow* w) {
  for (; w != nullptr; w = w->parent)
    if (w == ancestor) return true;
  return false;
}

// Gives `control` the focus as the dialog manager does: an edit has all its
// text selected, so typing replaces it.
void FocusControl(HWND control) {
  SetFocus(control);
  if (PlatformIsWindow(control) && (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL))
    SendMessageA(control, EM_SETSEL, 0, -1);
}

HWND CreateFromTemplate(const DialogTemplate& dialog, HWND parentOrOwner, DLGPROC dialogProc,
                        LPARAM initParam, bool modal) {
  const bool child = (dialog.style & WS_CHILD) != 0;
  PlatformWindow* relative = PlatformLive(parentOrOwner);
  if (child && relative == nullptr) return nullptr;
  // A top-level dialog is owned by the top-level window of the one given.
  PlatformWindow* owner = nullptr;
  if (!child && relative != nullptr) {
    owner = relative;
    while (owner->parent != nullptr) owner = owner->parent;
  }

  const int x = DialogUnitsToPixels(dialog.x, kPlatformDialogBaseUnitX, 4);
  const int y = DialogUnitsToPixels(dialog.y, kPlatformDialogBaseUnitY, 8);
  const int cx = DialogUnitsToPixels(dialog.cx, kPlatformDialogBaseUnitX, 4);
  const int cy = DialogUnitsToPixels(dialog.cy, kPlatformDialogBaseUnitY, 8);
  POINT origin{0, 0};
  if (owner != nullptr && !(dialog.style & DS_ABSALIGN)) MapWindowPoints(owner, nullptr, &origin, 1);

  PlatformWindowSpec params;
  params.parent = child ? relative : nullptr;
  params.owner = owner;
  params.className = "#32770";
  params.text = dialog.caption.c_str();
  // Shown only after WM_INITDIALOG.
  params.style = dialog.style & ~static_cast<DWORD>(WS_VISIBLE);
  params.exStyle = dialog.exStyle;
  params.rect = RECT{origin.x + x, origin.y + y, origin.x + x + std::max(0, cx),
                   origin.y + y + std::max(0, cy)};
  params.dialogProc = dialogProc;
  HWND window = PlatformCreateWindow(params);
  if (window == nullptr) return nullptr;
  PlatformWindow* d = PlatformLive(window);
  d->kind = ControlClass::kDialog;
  d->modal = modal;

  for (const DialogControlTemplate& control : dialog.controls) {
    const bool created =
        CreateWindowExA(control.exStyle, control.className.c_str(), control.text.c_str(),
                        control.style | WS_CHILD,
                        DialogUnitsToPixels(control.x, kPlatformDialogBaseUnitX, 4),
                        DialogUnitsToPixels(control.y, kPlatformDialogBaseUnitY, 8),
                        DialogUnitsToPixels(control.cx, kPlatformDialogBaseUnitX, 4),
                        DialogUnitsToPixels(control.cy, kPlatformDialogBaseUnitY, 8), window,
                        reinterpret_cast<HMENU>(static_cast<intptr_t>(control.id)), nullptr,
                        nullptr) != nullptr;
    if (!created && !(dialog.style & DS_NOFAILCREATE)) {
      DestroyWindow(window);
      return nullptr;
    }
    if (!PlatformIsWindow(window)) return nullptr;
  }

  // A modal dialog's owner takes no input until the dialog ends.
  if (modal && owner != nullptr && owner->enabled) {
    EnableWindow(owner, FALSE);
    d->disabledOwner = owner;
  }

  const INT_PTR defaultFocus = SendMessageA(
      window, WM_INITDIALOG, reinterpret_cast<WPARAM>(GetNextDlgTabItem(window, nullptr, FALSE)),
      initParam);
  if (!PlatformIsWindow(window)) return nullptr;
  // TRUE asks for the default focus: the first tab stop.
  if (defaultFocus && !d->ended && (!(dialog.style & DS_CONTROL) || (dialog.style & WS_VISIBLE))) {
    HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
    if (first != nullptr) FocusControl(first);
  }
  if (!PlatformIsWindow(window)) return nullptr;
  if ((dialog.style & WS_VISIBLE) && !d->ended) ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

void EnterKey(PlatformWindow* d) {
  PlatformWindow* focus = PlatformLive(GetFocus());
  if (focus != nullptr && IsInside(d, focus) && focus->kind == ControlClass::kButton &&
      (focus->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
    if (focus->enabled)
      SendMessageA(d, WM_COMMAND, MAKEWPARAM(focus->id, BN_CLICKED), reinterpret_cast<LPARAM>(focus));
    return;
  }
  const LRESULT defaultId = SendMessageA(d, DM_GETDEFID, 0, 0);
  if (HIWORD(defaultId) == DC_HASDEFID) {
    const int id = LOWORD(defaultId);
    HWND button = GetDlgItem(d, id);
    if (button == nullptr || IsWindowEnabled(button))
      SendMessageA(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return;
  }
  SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(d, IDOK)));
}

void EscapeKey(PlatformWindow* d) {
  HWND cancel = GetDlgItem(d, IDCANCEL);
  if (cancel != nullptr && !IsWindowEnabled(cancel)) return;  // the real one beeps
  SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
}

void TabKey(PlatformWindow* d) {
  HWND next = GetNextDlgTabItem(d, GetFocus(), FALSE);
  if (next != nullptr) FocusControl(next);
}

}  // namespace

void PlatformForgetPostedMessages(HWND window) {
  std::deque<MSG>& queue = Queue();
  for (auto it = queue.begin(); it != queue.end();) {
    if (it->hwnd == window) it = queue.erase(it);
    else ++it;
  }
}

size_t PlatformPostedMessageCount() { return Queue().size(); }

void PlatformSetIdleLimits(int maxFruitlessRounds, int maxRounds) {
  g_maxFruitlessRounds = maxFruitlessRounds > 0 ? maxFruitlessRounds : kPlatformDefaultFruitlessIdleRounds;
  g_maxRounds = maxRounds > 0 ? maxRounds : kPlatformDefaultIdleRounds;
}

int PlatformAbandonedDialogCount() { return g_abandonedDialogs; }

LRESULT PlatformDefaultDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  PlatformWindow* d = PlatformLive(dialog);
  if (d == nullptr) return 0;
  switch (message) {
    case WM_CLOSE: {
      // Closing is cancelling: a click on IDCANCEL, unless that control
      // exists and is disabled.
      HWND cancel = GetDlgItem(d, IDCANCEL);
      if (cancel == nullptr || IsWindowEnabled(cancel))
        PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case DM_GETDEFID:
      if (d->ended) return 0;
      if (d->defaultId != 0) return MAKELPARAM(d->defaultId, DC_HASDEFID);
      for (PlatformWindow* child : d->children)
        if (child->kind == ControlClass::kButton && (child->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
          return MAKELPARAM(child->id, DC_HASDEFID);
      return 0;
    case DM_SETDEFID:
      d->defaultId = static_cast<int>(wParam);
      return TRUE;
    case WM_INITDIALOG:
      return 0;
  }
  return DefWindowProcA(d, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A null window posts to the thread, which no window handles.
  if (window != nullptr && !PlatformIsWindow(window)) return FALSE;
  Queue().push_back(MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}});
  PlatformNoteAction();
  return TRUE;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  PlatformWindow* d = PlatformLive(dialog);
  if (d == nullptr) return nullptr;
  const std::vector<PlatformWindow*>& children = d->children;
  const auto isStop = [](const PlatformWindow* w) {
    return (w->style & WS_TABSTOP) && w->visible && w->enabled;
  };
  const size_t n = children.size();
  if (n == 0) return nullptr;
  // Start from the dialog's child that holds `control`; without one, from
  // the end that makes the search find the first (or last) tab stop.
  PlatformWindow* start = PlatformLive(control);
  while (start != nullptr && start->parent != d) start = start->parent;
  size_t at = previous ? 0 : n - 1;
  if (start != nullptr)
    for (size_t i = 0; i < n; ++i)
      if (children[i] == start) at = i;
  for (size_t step = 1; step <= n; ++step) {
    const size_t i = previous ? (at + n - step % n) % n : (at + step) % n;
    if (isStop(children[i])) return children[i];
  }
  return nullptr;
}

BOOL IsDialogMessageA(HWND dialog, MSG* message) {
  PlatformWindow* d = PlatformLive(dialog);
  if (d == nullptr || message == nullptr) return FALSE;
  PlatformWindow* target = PlatformLive(message->hwnd);
  if (target == nullptr || !IsInside(d, target)) return FALSE;
  if (message->message == WM_KEYDOWN) {
    const LRESULT code = SendMessageA(target, WM_GETDLGCODE, message->wParam,
                                      reinterpret_cast<LPARAM>(message));
    if (!PlatformIsWindow(d)) return TRUE;
    if (!(code & DLGC_WANTALLKEYS)) {
      switch (message->wParam) {
        case VK_RETURN:
          EnterKey(d);
          return TRUE;
        case VK_ESCAPE:
          EscapeKey(d);
          return TRUE;
        case VK_TAB:
          if (!(code & DLGC_WANTTAB)) {
            TabKey(d);
            return TRUE;
          }
          break;
      }
    }
  }
  SendMessageA(target, message->message, message->wParam, message->lParam);
  return TRUE;
}

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  const DialogTemplate* dialog = FindDialogTemplate(instance, templateName);
  if (dialog == nullptr) return nullptr;
  if (parent != nullptr && !PlatformIsWindow(parent)) return nullptr;
  return CreateFromTemplate(*dialog, parent, dialogProc, initParam, false);
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
  const DialogTemplate* dialog = FindDialogTemplate(instance, templateName);
  if (dialog == nullptr) return -1;
  if (owner != nullptr && !PlatformIsWindow(owner)) return 0;
  HWND window = CreateFromTemplate(*dialog, owner, dialogProc, initParam, true);
  if (window == nullptr) return -1;
  PlatformWindow* d = PlatformLive(window);

  bool shown = false;
  int fruitlessRounds = 0;
  int rounds = 0;
  while (true) {
    if (!PlatformIsWindow(window)) return 0;  // destroyed under the loop
    if (d->ended) break;
    if (Queue().empty()) {
      if (!shown) {
        // Shown the first time the queue runs empty.
        ShowWindow(window, SW_SHOWNORMAL);
        shown = true;
      }
      if (fruitlessRounds >= g_maxFruitlessRounds || rounds >= g_maxRounds) {
        ++g_abandonedDialogs;
        DestroyWindow(window);
        return -1;
      }
      ++rounds;
      const unsigned long before = PlatformActionCount();
      if (!(d->style & DS_NOIDLEMSG) && d->owner != nullptr)
        SendMessageA(d->owner, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(window));
      if (Queue().empty() && PlatformActionCount() == before) ++fruitlessRounds;
      else fruitlessRounds = 0;
      continue;
    }
    MSG message = Queue().front();
    Queue().pop_front();
    if (message.hwnd == nullptr) continue;
    if (!IsDialogMessageA(window, &message))
      SendMessageA(message.hwnd, message.message, message.wParam, message.lParam);
  }
  const INT_PTR result = d->result;
  DestroyWindow(window);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  PlatformWindow* d = PlatformLive(dialog);
  if (d == nullptr || d->kind != ControlClass::kDialog) return FALSE;
  PlatformNoteAction();
  d->result = result;
  d->ended = true;
  PlatformWindow* owner = d->disabledOwner;
  if (owner != nullptr) {
    d->disabledOwner = nullptr;
    EnableWindow(owner, TRUE);
  }
  PlatformWindow* focus = PlatformLive(GetFocus());
  const bool hadFocus = focus != nullptr && IsInside(d, focus);
  ShowWindow(dialog, SW_HIDE);
  // The owner of an ended top-level dialog gets the focus back.
  if (PlatformIsWindow(dialog) && hadFocus && d->parent == nullptr && d->owner != nullptr)
    SetFocus(d->owner);
  return TRUE;
}

void InitCommonControls() {
  // The common-control classes are built into the stand-in.
}
