// The stand-in dialog manager as the Win32 documentation describes it:
// templates looked up per instance, dialogs and their controls made from
// them in dialog units, WM_INITDIALOG and the default focus, the modal loop
// with its WM_ENTERIDLE signal to the owner, posted messages in order,
// EndDialog, the keyboard interface (Enter, Escape, Tab), the close box,
// child dialogs, and everything destroyed when DialogBoxParamA returns.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "embedded_resource_script.h"
#include "platform_hooks.h"
#include "win32.h"

namespace {

HINSTANCE const kTestInstance = reinterpret_cast<HINSTANCE>(uintptr_t{0x7E570000});
HINSTANCE const kPluginInstance = reinterpret_cast<HINSTANCE>(uintptr_t{0x7E580000});

const char kScript[] = R"(#pragma code_page(65001)
200 DIALOGEX 10, 20, 100, 80
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Test"
FONT 9, "Face"
BEGIN
    CONTROL "", 300, "EDIT", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP, 4, 4, 40, 12
    CONTROL "Go", 301, "BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 50, 4, 40, 12
    CONTROL "label", -1, "STATIC", WS_CHILD | WS_VISIBLE, 4, 20, 40, 8
    CONTROL "", 302, "EDIT", WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP, 4, 30, 40, 12
    CONTROL "", 303, "EDIT", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 4, 44, 40, 12
END
201 DIALOGEX 0, 0, 100, 80
STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU
BEGIN
    CONTROL "", 300, "EDIT", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 4, 4, 40, 12
    CONTROL "OK", 304, "BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 50, 4, 40, 12
    CONTROL "Cancel", 2, "BUTTON", WS_CHILD | WS_VISIBLE | WS_DISABLED | BS_PUSHBUTTON, 50, 20, 40, 12
END
202 DIALOGEX 0, 0, 100, 80
STYLE WS_POPUP | DS_NOIDLEMSG
BEGIN
END
210 DIALOGEX 2, 3, 50, 30
STYLE WS_CHILD
BEGIN
    CONTROL "", 400, "EDIT", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 1, 1, 20, 10
END
211 DIALOGEX 0, 0, 50, 30
STYLE WS_CHILD | WS_VISIBLE
BEGIN
END
220 DIALOGEX 0, 0, 50, 30
STYLE WS_POPUP
BEGIN
    CONTROL "", 500, "NoSuchClass", WS_CHILD | WS_VISIBLE, 1, 1, 20, 10
    CONTROL "", 501, "EDIT", WS_CHILD | WS_VISIBLE, 1, 1, 20, 10
END
221 DIALOGEX 0, 0, 50, 30
STYLE WS_POPUP | DS_NOFAILCREATE
BEGIN
    CONTROL "", 500, "NoSuchClass", WS_CHILD | WS_VISIBLE, 1, 1, 20, 10
    CONTROL "", 501, "EDIT", WS_CHILD | WS_VISIBLE, 1, 1, 20, 10
END
)";

struct Logged {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// The state a test's dialog procedure and owner window share with it.
struct Harness {
  std::vector<Logged> log;  // messages the dialog procedures saw
  std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> onMessage;
  std::function<void(HWND)> onIdle;
  int idleRounds = 0;
  std::vector<LPARAM> idleParams;
  std::vector<WPARAM> idleKinds;
};
Harness g;

bool Interesting(UINT message) {
  return message == WM_INITDIALOG || message == WM_COMMAND || message == WM_CLOSE ||
         message == WM_SYSCOMMAND || message == WM_DESTROY || message >= WM_USER;
}

INT_PTR TestDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Interesting(message)) g.log.push_back({window, message, wParam, lParam});
  if (g.onMessage) return g.onMessage(window, message, wParam, lParam);
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

LRESULT OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ENTERIDLE) {
    ++g.idleRounds;
    g.idleKinds.push_back(wParam);
    g.idleParams.push_back(lParam);
    if (g.onIdle) g.onIdle(reinterpret_cast<HWND>(lParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The commands the dialog procedure received, as (identifier, code, source).
struct Command {
  int id;
  int code;
  LPARAM source;
  bool operator==(const Command& other) const {
    return id == other.id && code == other.code && source == other.source;
  }
};
// Focus notifications of the edits are left out.
bool IsFocusNotice(const Logged& entry) {
  return entry.message == WM_COMMAND &&
         (HIWORD(entry.wParam) == EN_SETFOCUS || HIWORD(entry.wParam) == EN_KILLFOCUS);
}
std::vector<Command> Commands() {
  std::vector<Command> commands;
  for (const Logged& entry : g.log)
    if (entry.message == WM_COMMAND && !IsFocusNotice(entry))
      commands.push_back({LOWORD(entry.wParam), HIWORD(entry.wParam), entry.lParam});
  return commands;
}

// A dialog procedure that ends the dialog with `result` on command `id`.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> EndOnCommand(int id, INT_PTR result) {
  return [id, result](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == id) EndDialog(window, result);
    return FALSE;
  };
}

constexpr UINT kEndMessage = WM_USER + 99;  // the test procedures end the dialog on this

class PlatformDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool once = false;
    if (!once) {
      ASSERT_TRUE(PlatformRegisterResourceScript(kTestInstance, kScript, sizeof kScript - 1));
      ASSERT_TRUE(PlatformRegisterResourceScript(kPluginInstance, kEmbeddedResourceScript,
                                                 kEmbeddedResourceScriptSize));
      WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = OwnerProc;
      windowClass.lpszClassName = "DialogTestOwner";
      ASSERT_NE(RegisterClassA(&windowClass), 0);
      once = true;
    }
    g = Harness();
    PlatformSetIdleLimits(0, 0);
    baseline_ = PlatformLiveWindowCount();
    owner_ = CreateWindowExA(0, "DialogTestOwner", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 50,
                             640, 480, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(owner_);
    EXPECT_EQ(PlatformLiveWindowCount(), baseline_);
    EXPECT_EQ(PlatformPostedMessageCount(), 0u);
    PlatformSetIdleLimits(0, 0);
    SetFocus(nullptr);
  }

  INT_PTR Run(int id, LPARAM param = 0) {
    return DialogBoxParamA(kTestInstance, MAKEINTRESOURCEA(id), owner_, TestDialogProc, param);
  }

  int baseline_ = 0;
  HWND owner_ = nullptr;
};

TEST_F(PlatformDialogTest, MissingTemplateReturnsMinusOneWithoutAWindow) {
  EXPECT_EQ(Run(999), -1);
  EXPECT_EQ(DialogBoxParamA(reinterpret_cast<HINSTANCE>(uintptr_t{0x1234}), MAKEINTRESOURCEA(200),
                            owner_, TestDialogProc, 0),
            -1);
  EXPECT_EQ(DialogBoxParamA(kTestInstance, nullptr, owner_, TestDialogProc, 0), -1);
  EXPECT_EQ(CreateDialogParamA(kTestInstance, MAKEINTRESOURCEA(999), owner_, TestDialogProc, 0), nullptr);
  EXPECT_TRUE(g.log.empty());
  EXPECT_EQ(g.idleRounds, 0);
  EXPECT_EQ(PlatformLiveWindowCount(), baseline_ + 1);  // the owner alone
  EXPECT_TRUE(IsWindowEnabled(owner_));
}

TEST_F(PlatformDialogTest, ControlOfAnUnknownClassFailsTheDialog) {
  EXPECT_EQ(Run(220), -1);
  for (const Logged& entry : g.log)  // WM_INITDIALOG never came
    EXPECT_NE(entry.message, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(PlatformLiveWindowCount(), baseline_ + 1);
  // DS_NOFAILCREATE creates what it can.
  g.onIdle = [](HWND dialog) {
    EXPECT_EQ(GetDlgItem(dialog, 500), nullptr);
    EXPECT_NE(GetDlgItem(dialog, 501), nullptr);
    PostMessageA(dialog, kEndMessage, 0, 0);
  };
  g.onMessage = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == kEndMessage) EndDialog(window, 5);
    return message == WM_INITDIALOG;
  };
  EXPECT_EQ(Run(221), 5);
}

TEST_F(PlatformDialogTest, InvalidOwnerReturnsZero) {
  HWND stale = CreateWindowExA(0, "DialogTestOwner", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(stale);
  EXPECT_EQ(DialogBoxParamA(kTestInstance, MAKEINTRESOURCEA(200), stale, TestDialogProc, 0), 0);
  EXPECT_TRUE(g.log.empty());
}

TEST_F(PlatformDialogTest, ModalLoopDrivenThroughEnterIdle) {
  HWND seen = nullptr;
  g.onIdle = [&](HWND dialog) {
    if (g.idleRounds == 1) {
      seen = dialog;
      // Shown once the queue first ran empty; the owner takes no input.
      EXPECT_TRUE(IsWindowVisible(dialog));
      EXPECT_FALSE(IsWindowEnabled(owner_));
      EXPECT_EQ(GetParent(dialog), owner_);
      EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
      char caption[16];
      GetWindowTextA(dialog, caption, sizeof caption);
      EXPECT_STREQ(caption, "Test");
      char className[16];
      GetClassNameA(dialog, className, sizeof className);
      EXPECT_STREQ(className, "#32770");
      SetDlgItemTextA(dialog, 300, "typed");
      return;  // acting counts: the loop goes on
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(301, BN_CLICKED), 0);
  };
  g.onMessage = EndOnCommand(301, 77);
  EXPECT_EQ(Run(200), 77);
  EXPECT_EQ(g.idleRounds, 2);
  for (size_t i = 0; i < g.idleKinds.size(); ++i) {
    EXPECT_EQ(g.idleKinds[i], static_cast<WPARAM>(MSGF_DIALOGBOX));
    EXPECT_EQ(g.idleParams[i], reinterpret_cast<LPARAM>(seen));
  }
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_TRUE(IsWindowEnabled(owner_));
  // The procedure saw the destruction of its dialog last.
  ASSERT_FALSE(g.log.empty());
  EXPECT_EQ(g.log.back().message, static_cast<UINT>(WM_DESTROY));
}

TEST_F(PlatformDialogTest, InitDialogParametersAndDefaultFocus) {
  g.onIdle = [](HWND dialog) {
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 300));
    PostMessageA(dialog, kEndMessage, 0, 0);
  };
  WPARAM initFocus = 0, firstEdit = 1;
  g.onMessage = [&](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      // wParam names the control that would get the default focus.
      initFocus = wParam;
      firstEdit = reinterpret_cast<WPARAM>(GetDlgItem(window, 300));
    }
    if (message == kEndMessage) EndDialog(window, 1);
    return message == WM_INITDIALOG;
  };
  EXPECT_EQ(Run(200, 0x5EED), 1);
  ASSERT_FALSE(g.log.empty());
  const Logged& init = g.log.front();
  EXPECT_EQ(init.message, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(init.lParam, 0x5EED);
  EXPECT_EQ(initFocus, firstEdit);

  // FALSE from WM_INITDIALOG leaves the focus alone (on a window the
  // disabled owner does not hold).
  g = Harness();
  HWND elsewhere = CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE, 0, 0, 5, 5, nullptr, nullptr,
                                   nullptr, nullptr);
  SetFocus(elsewhere);
  g.onIdle = [elsewhere](HWND dialog) {
    EXPECT_EQ(GetFocus(), elsewhere);
    PostMessageA(dialog, kEndMessage, 0, 0);
  };
  g.onMessage = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == kEndMessage) EndDialog(window, 1);
    return FALSE;
  };
  EXPECT_EQ(Run(200), 1);
  DestroyWindow(elsewhere);
}

TEST_F(PlatformDialogTest, EndDialogResultIsReturned) {
  const INT_PTR results[] = {0, 1, 2, -7, static_cast<INT_PTR>(0x123456789LL)};
  for (INT_PTR result : results) {
    g = Harness();
    g.onIdle = [](HWND dialog) { PostMessageA(dialog, kEndMessage, 0, 0); };
    g.onMessage = [result](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
      if (message == kEndMessage) {
        EXPECT_TRUE(EndDialog(window, result));
        // Ending takes effect after this message: the dialog is still there.
        EXPECT_TRUE(IsWindow(window));
        EXPECT_FALSE(IsWindowVisible(window));
      }
      return message == WM_INITDIALOG;
    };
    EXPECT_EQ(Run(200), result);
    EXPECT_TRUE(IsWindowEnabled(owner_));
  }
}

TEST_F(PlatformDialogTest, EndDialogDuringInitDialogNeverShowsTheDialog) {
  bool everVisible = false;
  g.onMessage = [&](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      EndDialog(window, 9);
      return TRUE;
    }
    if (message == WM_DESTROY) everVisible = IsWindowVisible(window) != FALSE;
    return FALSE;
  };
  EXPECT_EQ(Run(200), 9);
  EXPECT_EQ(g.idleRounds, 0);
  EXPECT_FALSE(everVisible);
}

TEST_F(PlatformDialogTest, PostedMessagesArriveInOrderBeforeTheNextIdle) {
  g.onIdle = [](HWND dialog) {
    if (g.idleRounds == 1) {
      for (int i = 1; i <= 5; ++i) EXPECT_TRUE(PostMessageA(dialog, WM_USER + i, i * 10, -i));
      // A message for a window that goes away is dropped with it.
      HWND doomed = GetDlgItem(dialog, 303);
      PostMessageA(doomed, WM_USER + 50, 0, 0);
      DestroyWindow(doomed);
      return;
    }
    PostMessageA(dialog, kEndMessage, 0, 0);
  };
  std::vector<int> order;
  g.onMessage = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message > WM_USER && message <= WM_USER + 5) {
      EXPECT_EQ(wParam, static_cast<WPARAM>((message - WM_USER) * 10));
      EXPECT_EQ(lParam, -static_cast<LPARAM>(message - WM_USER));
      EXPECT_EQ(g.idleRounds, 1);
      order.push_back(static_cast<int>(message - WM_USER));
    }
    if (message == kEndMessage) EndDialog(window, 3);
    return message == WM_INITDIALOG;
  };
  EXPECT_EQ(Run(200), 3);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(g.idleRounds, 2);
}

TEST_F(PlatformDialogTest, EnterOnAnEditSendsIdOk) {
  g.onIdle = [](HWND dialog) {
    HWND edit = GetDlgItem(dialog, 303);
    SetFocus(edit);
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  };
  g.onMessage = EndOnCommand(IDOK, IDOK);
  EXPECT_EQ(Run(200), IDOK);
  // No control has identifier 1, so the command comes from no window.
  const std::vector<Command> commands = Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), (Command{IDOK, BN_CLICKED, 0}));
}

// As the real dialog manager does (seen under Wine with the plug-in's own
// dialog): focusing a push button with SetFocus does not make it the default
// button, so Enter still sends the dialog's default command, here IDOK.
TEST_F(PlatformDialogTest, EnterOnAnOrdinaryFocusedPushButtonSendsIdOk) {
  HWND button = nullptr;
  g.onIdle = [&](HWND dialog) {
    if (g.idleRounds > 1) {
      PostMessageA(dialog, kEndMessage, 0, 0);
      return;
    }
    button = GetDlgItem(dialog, 301);
    SetFocus(button);
    PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);  // posted to the dialog itself
  };
  g.onMessage = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == kEndMessage) EndDialog(window, 4);
    return message == WM_INITDIALOG;
  };
  EXPECT_EQ(Run(200), 4);
  ASSERT_NE(button, nullptr);
  const std::vector<Command> commands = Commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], (Command{IDOK, BN_CLICKED, 0}));
}

TEST_F(PlatformDialogTest, EnterUsesTheDefaultPushButton) {
  HWND defaultButton = nullptr;
  g.onIdle = [&](HWND dialog) {
    defaultButton = GetDlgItem(dialog, 304);
    EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELPARAM(304, DC_HASDEFID));
    SetFocus(GetDlgItem(dialog, 300));
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
  };
  g.onMessage = EndOnCommand(304, 6);
  EXPECT_EQ(DialogBoxParamA(kTestInstance, MAKEINTRESOURCEA(201), owner_, TestDialogProc, 0), 6);
  const std::vector<Command> commands = Commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0], (Command{304, BN_CLICKED, reinterpret_cast<LPARAM>(defaultButton)}));
}

TEST_F(PlatformDialogTest, EscapeSendsIdCancel) {
  g.onIdle = [](HWND dialog) {
    SetFocus(GetDlgItem(dialog, 300));
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
  };
  g.onMessage = EndOnCommand(IDCANCEL, 0);
  EXPECT_EQ(Run(200), 0);
  const std::vector<Command> commands = Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), (Command{IDCANCEL, BN_CLICKED, 0}));
}

TEST_F(PlatformDialogTest, EscapeAndCloseDoNothingWhenIdCancelIsDisabled) {
  g.onIdle = [](HWND dialog) {
    if (g.idleRounds == 1) {
      PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
      PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      return;
    }
    PostMessageA(dialog, kEndMessage, 0, 0);
  };
  g.onMessage = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == kEndMessage) EndDialog(window, 8);
    return message == WM_INITDIALOG;
  };
  EXPECT_EQ(DialogBoxParamA(kTestInstance, MAKEINTRESOURCEA(201), owner_, TestDialogProc, 0), 8);
  EXPECT_TRUE(Commands().empty());
}

TEST_F(PlatformDialogTest, CloseBoxBecomesWmCloseThenIdCancel) {
  g.onIdle = [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); };
  g.onMessage = EndOnCommand(IDCANCEL, 0);
  EXPECT_EQ(Run(200), 0);
  std::vector<UINT> sequence;
  for (const Logged& entry : g.log)
    if (entry.message != WM_INITDIALOG && entry.message != WM_DESTROY && !IsFocusNotice(entry))
      sequence.push_back(entry.message);
  EXPECT_EQ(sequence, (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_COMMAND}));
  EXPECT_EQ(Commands().back(), (Command{IDCANCEL, BN_CLICKED, 0}));
}

TEST_F(PlatformDialogTest, WmCloseThatEndsTheDialogLeavesNothingBehind) {
  // As the plug-in's main dialog does: WM_CLOSE ends the dialog and returns
  // FALSE, so the default handling still posts IDCANCEL, which must die with
  // the dialog.
  g.onIdle = [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); };
  g.onMessage = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_CLOSE) EndDialog(window, 0);
    return message == WM_INITDIALOG;
  };
  EXPECT_EQ(Run(200), 0);
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(PlatformPostedMessageCount(), 0u);
}

TEST_F(PlatformDialogTest, IdleGuardGivesUpAnUndrivenDialog) {
  PlatformSetIdleLimits(5, 0);
  const int abandoned = PlatformAbandonedDialogCount();
  HWND dialog = nullptr;
  g.onIdle = [&](HWND d) { dialog = d; };  // looks, does nothing
  EXPECT_EQ(Run(200), -1);
  EXPECT_EQ(g.idleRounds, 5);
  EXPECT_EQ(PlatformAbandonedDialogCount(), abandoned + 1);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(IsWindowEnabled(owner_));

  // A driver that acts keeps the dialog alive; the count starts over after
  // every fruitful round.
  g = Harness();
  g.onIdle = [](HWND d) {
    if (g.idleRounds <= 20) SetDlgItemTextA(d, 300, g.idleRounds % 2 ? "odd" : "even");
  };
  EXPECT_EQ(Run(200), -1);
  EXPECT_EQ(g.idleRounds, 25);

  // However busy the driver, the rounds in all are bounded.
  PlatformSetIdleLimits(0, 40);
  g = Harness();
  g.onIdle = [](HWND d) { SetDlgItemTextA(d, 300, "busy"); };
  EXPECT_EQ(Run(200), -1);
  EXPECT_EQ(g.idleRounds, 40);

  // Without an owner nobody hears WM_ENTERIDLE; the default limit ends it.
  PlatformSetIdleLimits(0, 0);
  g = Harness();
  EXPECT_EQ(DialogBoxParamA(kTestInstance, MAKEINTRESOURCEA(200), nullptr, TestDialogProc, 0), -1);
  EXPECT_EQ(PlatformAbandonedDialogCount(), abandoned + 4);
}

TEST_F(PlatformDialogTest, NoIdleMessagesWithDsNoIdleMsg) {
  PlatformSetIdleLimits(3, 0);
  EXPECT_EQ(Run(202), -1);
  EXPECT_EQ(g.idleRounds, 0);
}

TEST_F(PlatformDialogTest, DestroyedUnderTheLoopReturnsZero) {
  g.onIdle = [](HWND dialog) { DestroyWindow(dialog); };
  EXPECT_EQ(Run(200), 0);
  EXPECT_TRUE(IsWindowEnabled(owner_));
}

TEST_F(PlatformDialogTest, ChildDialogsLiveAndDieWithTheirParent) {
  HWND hidden = nullptr, shown = nullptr;
  bool created = false;
  g.onMessage = [&](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG && !created) {
      created = true;  // the children's own WM_INITDIALOG comes through here too
      hidden = CreateDialogParamA(kTestInstance, MAKEINTRESOURCEA(210), window, TestDialogProc, 11);
      shown = CreateDialogParamA(kTestInstance, MAKEINTRESOURCEA(211), window, TestDialogProc, 12);
    }
    if (message == kEndMessage) EndDialog(window, 2);
    return message == WM_INITDIALOG;
  };
  g.onIdle = [&](HWND dialog) {
    ASSERT_NE(hidden, nullptr);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(GetParent(hidden), dialog);
    EXPECT_FALSE(IsWindowVisible(hidden));  // visible only with WS_VISIBLE
    EXPECT_TRUE(IsWindowVisible(shown));
    // Position in dialog units relative to the parent's client area:
    // (2, 3) at 6/4 and 12/8 pixels per unit is (3, 4.5 -> 5).
    POINT corner{0, 0};
    MapWindowPoints(hidden, dialog, &corner, 1);
    EXPECT_EQ(corner.x, 3);
    EXPECT_EQ(corner.y, 5);
    // EndDialog on a modeless dialog hides it; it stays a window.
    ShowWindow(hidden, SW_SHOW);
    EXPECT_TRUE(EndDialog(hidden, 0));
    EXPECT_TRUE(IsWindow(hidden));
    EXPECT_FALSE(IsWindowVisible(hidden));
    PostMessageA(dialog, kEndMessage, 0, 0);
  };
  EXPECT_EQ(Run(200), 2);
  EXPECT_FALSE(IsWindow(hidden));
  EXPECT_FALSE(IsWindow(shown));
  int initParams = 0, destroyed = 0;
  for (const Logged& entry : g.log) {
    if (entry.message == WM_INITDIALOG && (entry.window == hidden || entry.window == shown))
      initParams += static_cast<int>(entry.lParam);
    if (entry.message == WM_DESTROY) ++destroyed;
  }
  EXPECT_EQ(initParams, 23);
  EXPECT_EQ(destroyed, 3);
  // A child template needs a parent.
  EXPECT_EQ(CreateDialogParamA(kTestInstance, MAKEINTRESOURCEA(210), nullptr, TestDialogProc, 0), nullptr);
  EXPECT_FALSE(EndDialog(owner_, 0));  // not a dialog
  EXPECT_FALSE(EndDialog(nullptr, 0));
}

TEST_F(PlatformDialogTest, TabMovesTheFocusAlongTheTabStops) {
  std::vector<int> visited;
  g.onIdle = [&](HWND dialog) {
    visited.push_back(GetDlgCtrlID(GetFocus()));
    if (visited.size() < 4) PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    else PostMessageA(dialog, kEndMessage, 0, 0);
  };
  g.onMessage = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == kEndMessage) EndDialog(window, 1);
    return message == WM_INITDIALOG;
  };
  EXPECT_EQ(Run(200), 1);
  // 300, 301, then 303: the static is no tab stop and 302 is disabled; then
  // round to the start.
  EXPECT_EQ(visited, (std::vector<int>{300, 301, 303, 300}));
}

TEST_F(PlatformDialogTest, TypingThroughTheQueue) {
  g.onIdle = [](HWND dialog) {
    if (g.idleRounds == 1) {
      HWND edit = GetDlgItem(dialog, 300);
      SetFocus(edit);
      for (char c : std::string("42")) PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
      return;
    }
    char text[16];
    GetDlgItemTextA(dialog, 300, text, sizeof text);
    EXPECT_STREQ(text, "42");
    PostMessageA(dialog, kEndMessage, 0, 0);
  };
  g.onMessage = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == kEndMessage) EndDialog(window, 1);
    return message == WM_INITDIALOG;
  };
  EXPECT_EQ(Run(200), 1);
  int changes = 0;
  for (const Command& command : Commands()) changes += command.id == 300 && command.code == EN_CHANGE;
  EXPECT_EQ(changes, 2);
}

// The plug-in's own main template, created as the dialog manager does: the
// controls in template order at the chosen base units (6 and 12), the caption,
// the classes and the default focus on the first tab stop (the output path).
TEST_F(PlatformDialogTest, PluginMainTemplateGeometry) {
  HWND page = nullptr;
  bool created = false;
  g.onMessage = [&](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG && !created) {
      created = true;  // the page's own WM_INITDIALOG comes through here too
      page = CreateDialogParamA(kPluginInstance, MAKEINTRESOURCEA(104), window, TestDialogProc, 0);
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && window != page) EndDialog(window, IDOK);
    return message == WM_INITDIALOG;
  };
  const auto rectIn = [](HWND control, HWND dialog) {
    RECT r;
    GetClientRect(control, &r);
    MapWindowPoints(control, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  g.onIdle = [&](HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 243);  // 162 * 6 / 4
    EXPECT_EQ(client.bottom, 270);  // 180 * 12 / 8
    RECT window;
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.left, 100);  // at 0, 0 of the owner's client area
    EXPECT_EQ(window.top, 50);
    char text[32];
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, "Orvelle α");
    // The tab control: 7, 24, 148, 85 units; MulDiv rounds halves up:
    // 10.5 -> 11, 36, 222, 127.5 -> 128.
    const RECT tab = rectIn(GetDlgItem(dialog, 1016), dialog);
    EXPECT_EQ(tab.left, 11);
    EXPECT_EQ(tab.top, 36);
    EXPECT_EQ(tab.right - tab.left, 222);
    EXPECT_EQ(tab.bottom - tab.top, 128);
    // The output path: 7, 116, 91, 12 -> 11, 174, 137, 18.
    const RECT path = rectIn(GetDlgItem(dialog, 1000), dialog);
    EXPECT_EQ(path.left, 11);
    EXPECT_EQ(path.top, 174);
    EXPECT_EQ(path.right - path.left, 137);
    EXPECT_EQ(path.bottom - path.top, 18);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 1000));
    // Template order is the order of the children.
    const int order[] = {1000, 1005, 1006, -1, 1013, 1016, 1018, 1019, 1021};
    HWND child = GetWindow(dialog, GW_CHILD);
    for (int id : order) {
      ASSERT_NE(child, nullptr);
      EXPECT_EQ(GetDlgCtrlID(child), id);
      child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, page);  // the page, created during WM_INITDIALOG, comes last
    char className[32];
    GetClassNameA(GetDlgItem(dialog, 1019), className, sizeof className);
    EXPECT_STREQ(className, "msctls_progress32");
    GetWindowTextA(GetDlgItem(dialog, 1005), text, sizeof text);
    EXPECT_STREQ(text, "ﾃｰﾌﾞﾙ作成");
    EXPECT_EQ(GetWindowLongA(GetDlgItem(dialog, 1018), GWL_STYLE), static_cast<LONG>(0x50010003));
    // The Shade page's light x edit: 99, 17 -> 148.5 -> 149, 25.5 -> 26.
    const RECT lightX = rectIn(GetDlgItem(page, 1002), page);
    EXPECT_EQ(lightX.left, 149);
    EXPECT_EQ(lightX.top, 26);
    EXPECT_FALSE(IsWindowVisible(page));
    // Enter while typing the texture size is the dialog's OK command.
    SetFocus(GetDlgItem(dialog, 1013));
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
  };
  EXPECT_EQ(DialogBoxParamA(kPluginInstance, MAKEINTRESOURCEA(101), owner_, TestDialogProc, 0), IDOK);
  EXPECT_FALSE(IsWindow(page));
}

}  // namespace
