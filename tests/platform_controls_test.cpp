// The stand-in platform's window classes as the documentation describes
// them: progress bar and tab control messages, edit notifications and typing,
// buttons and check boxes, text reads, focus, geometry, the window tree and
// host windows of registered classes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform_hooks.h"
#include "win32.h"

namespace {

// What a parent window was told, in order.
struct Notification {
  UINT message;
  int id;
  int code;
  HWND from;
};
std::vector<Notification> g_notifications;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND)
    g_notifications.push_back({message, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)});
  if (message == WM_NOTIFY) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    g_notifications.push_back({message, static_cast<int>(header->idFrom), static_cast<int>(header->code),
                               header->hwndFrom});
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const char kParentClass[] = "PlatformControlsTestParent";

class PlatformControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool registered = false;
    if (!registered) {
      WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = RecordingProc;
      windowClass.lpszClassName = kParentClass;
      ASSERT_NE(RegisterClassA(&windowClass), 0);
      registered = true;
    }
    baseline_ = PlatformLiveWindowCount();
    parent_ = CreateWindowExA(0, kParentClass, "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 50,
                              400, 300,
                              nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
    g_notifications.clear();
  }
  void TearDown() override {
    DestroyWindow(parent_);
    EXPECT_EQ(PlatformLiveWindowCount(), baseline_);
    SetFocus(nullptr);
  }

  HWND Control(const char* className, int id, const char* text, DWORD style, int x = 0, int y = 0,
               int width = 50, int height = 20) {
    return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                           parent_, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr,
                           nullptr);
  }

  std::string Text(HWND window) {
    char buffer[260];
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
  }

  int baseline_ = 0;
  HWND parent_ = nullptr;
};

TEST_F(PlatformControlsTest, ProgressBarReturnsPreviousValuesAndClamps) {
  HWND bar = Control("msctls_progress32", 7, "", 0);
  ASSERT_NE(bar, nullptr);
  // Documented defaults: range 0 to 100, step 10, position 0.
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
  // PBM_SETRANGE answers with the previous range: minimum low, maximum high.
  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 64)), MAKELPARAM(0, 100));
  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(2, 8)), MAKELPARAM(0, 64));
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 2);
  EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 8);
  // The position was 0, below the new minimum: it is held inside the range.
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 2);
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 5, 0), 2);
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 50, 0), 5);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 8);
  EXPECT_EQ(SendMessageA(bar, PBM_DELTAPOS, static_cast<WPARAM>(-3), 0), 8);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 5);
  EXPECT_EQ(SendMessageA(bar, PBM_SETSTEP, 2, 0), 10);
  EXPECT_EQ(SendMessageA(bar, PBM_STEPIT, 0, 0), 5);
  EXPECT_EQ(SendMessageA(bar, PBM_STEPIT, 0, 0), 7);
  // 7 + 2 passes the maximum 8: the bar starts over from the beginning.
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 2);
  // The plug-in's use: range 0..size, step 1, one step per row.
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 3));
  SendMessageA(bar, PBM_SETSTEP, 1, 0);
  SendMessageA(bar, PBM_SETPOS, 0, 0);
  for (int row = 0; row < 3; ++row) SendMessageA(bar, PBM_STEPIT, 0, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 3);
  EXPECT_TRUE(g_notifications.empty());
}

TEST_F(PlatformControlsTest, TabControlItemsAndSelection) {
  HWND tab = Control("SysTabControl32", 16, "Tab1", 0, 10, 20, 200, 100);
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(tab, TCM_GETCURSEL, 0, 0), -1);
  char a[] = "first", b[] = "second", c[] = "zeroth";
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = a;
  EXPECT_EQ(SendMessageA(tab, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
  EXPECT_EQ(SendMessageA(tab, TCM_GETCURSEL, 0, 0), 0);
  item.pszText = b;
  EXPECT_EQ(SendMessageA(tab, TCM_INSERTITEMA, 9, reinterpret_cast<LPARAM>(&item)), 1);  // appended
  EXPECT_EQ(SendMessageA(tab, TCM_SETCURSEL, 1, 0), 0);
  item.pszText = c;
  EXPECT_EQ(SendMessageA(tab, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
  // Inserting before the selection keeps the same item selected.
  EXPECT_EQ(SendMessageA(tab, TCM_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 3);
  char text[4] = {'x', 'x', 'x', 'x'};
  TCITEMA read{};
  read.mask = TCIF_TEXT;
  read.pszText = text;
  read.cchTextMax = 4;
  EXPECT_EQ(SendMessageA(tab, TCM_GETITEMA, 2, reinterpret_cast<LPARAM>(&read)), TRUE);
  EXPECT_STREQ(text, "sec");
  EXPECT_EQ(SendMessageA(tab, TCM_GETITEMA, 3, reinterpret_cast<LPARAM>(&read)), FALSE);
  EXPECT_EQ(SendMessageA(tab, TCM_SETCURSEL, 3, 0), -1);
  EXPECT_EQ(SendMessageA(tab, TCM_SETCURSEL, static_cast<WPARAM>(-1), 0), -1);
  EXPECT_EQ(SendMessageA(tab, TCM_GETCURSEL, 0, 0), 2);
  // TCM_SETCURSEL tells nobody; the parent hears of it only from a click.
  EXPECT_TRUE(g_notifications.empty());
  // The display area lies inside the window area, and the two conversions
  // undo each other.
  RECT r;
  GetClientRect(tab, &r);
  const RECT window = r;
  SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  EXPECT_GT(r.left, window.left);
  EXPECT_GT(r.top, window.top);
  EXPECT_LT(r.right, window.right);
  EXPECT_LT(r.bottom, window.bottom);
  SendMessageA(tab, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r.left, window.left);
  EXPECT_EQ(r.top, window.top);
  EXPECT_EQ(r.right, window.right);
  EXPECT_EQ(r.bottom, window.bottom);
}

TEST_F(PlatformControlsTest, EditTellsItsParentAboutEveryChange) {
  HWND edit = Control("EDIT", 13, "", ES_AUTOHSCROLL | WS_TABSTOP);
  HWND label = Control("STATIC", 14, "label", 0);
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(SetDlgItemTextA(parent_, 13, "64"));
  EXPECT_TRUE(SetDlgItemTextA(parent_, 13, "64"));  // unchanged text notifies too
  ASSERT_EQ(g_notifications.size(), 2u);
  EXPECT_EQ(g_notifications[0].id, 13);
  EXPECT_EQ(g_notifications[0].code, EN_CHANGE);
  EXPECT_EQ(g_notifications[0].from, edit);
  g_notifications.clear();
  EXPECT_TRUE(SetDlgItemTextA(parent_, 14, "other"));
  EXPECT_TRUE(g_notifications.empty());  // statics do not notify
  EXPECT_EQ(Text(label), "other");
  EXPECT_FALSE(SetDlgItemTextA(parent_, 99, "none"));
}

TEST_F(PlatformControlsTest, TypingIntoAnEdit) {
  HWND edit = Control("EDIT", 13, "", ES_AUTOHSCROLL);
  SetDlgItemTextA(parent_, 13, "64");
  g_notifications.clear();
  // After WM_SETTEXT the caret is at the start: typing goes in front.
  SendMessageA(edit, WM_CHAR, '1', 0);
  EXPECT_EQ(Text(edit), "164");
  // Selecting everything makes typing replace it.
  SendMessageA(edit, EM_SETSEL, 0, -1);
  DWORD start = 9, end = 9;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 3u);
  for (char c : std::string("128")) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
  EXPECT_EQ(Text(edit), "128");
  SendMessageA(edit, WM_CHAR, VK_BACK, 0);
  EXPECT_EQ(Text(edit), "12");
  // Enter, Escape and Tab are not text.
  SendMessageA(edit, WM_CHAR, '\r', 0);
  SendMessageA(edit, WM_CHAR, 0x1B, 0);
  SendMessageA(edit, WM_CHAR, '\t', 0);
  EXPECT_EQ(Text(edit), "12");
  // A double-byte character arrives as lead and trail; Backspace removes both.
  SendMessageA(edit, WM_CHAR, 0x83, 0);
  EXPECT_EQ(Text(edit), "12");
  SendMessageA(edit, WM_CHAR, 0xBF, 0);
  EXPECT_EQ(Text(edit), "12\x83\xBF");
  SendMessageA(edit, WM_CHAR, VK_BACK, 0);
  EXPECT_EQ(Text(edit), "12");
  // One EN_CHANGE per change: '1', three typed, Backspace, the pair, Backspace.
  int changes = 0;
  for (const Notification& n : g_notifications) changes += n.code == EN_CHANGE;
  EXPECT_EQ(changes, 7);
  // A number-only edit refuses other characters.
  HWND number = Control("EDIT", 15, "", ES_NUMBER);
  SendMessageA(number, WM_CHAR, 'a', 0);
  SendMessageA(number, WM_CHAR, '7', 0);
  EXPECT_EQ(Text(number), "7");
}

TEST_F(PlatformControlsTest, GetDlgItemTextTruncatesToTheBuffer) {
  Control("EDIT", 13, "abcdef", 0);
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetDlgItemTextA(parent_, 13, buffer, 4), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], '#');  // nothing written past the given size
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetDlgItemTextA(parent_, 13, buffer, 1), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '#');
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetDlgItemTextA(parent_, 13, buffer, 0), 0u);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(GetDlgItemTextA(parent_, 13, buffer, 8), 6u);
  EXPECT_STREQ(buffer, "abcdef");
  // A missing control reads as empty.
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetDlgItemTextA(parent_, 99, buffer, 8), 0u);
  EXPECT_EQ(buffer[0], '\0');
}

TEST_F(PlatformControlsTest, ButtonsClickCheckAndRefuseWhenDisabled) {
  HWND push = Control("BUTTON", 5, "push", BS_PUSHBUTTON | WS_TABSTOP);
  HWND check = Control("BUTTON", 18, "check", BS_AUTOCHECKBOX | WS_TABSTOP);
  HWND group = Control("BUTTON", 20, "frame", BS_GROUPBOX);
  SendMessageA(push, BM_CLICK, 0, 0);
  ASSERT_EQ(g_notifications.size(), 1u);
  EXPECT_EQ(g_notifications[0].id, 5);
  EXPECT_EQ(g_notifications[0].code, BN_CLICKED);
  EXPECT_EQ(g_notifications[0].from, push);
  EXPECT_EQ(GetFocus(), push);  // a click gives the button the focus

  EXPECT_EQ(IsDlgButtonChecked(parent_, 18), static_cast<UINT>(BST_UNCHECKED));
  SendMessageA(check, BM_CLICK, 0, 0);
  EXPECT_EQ(IsDlgButtonChecked(parent_, 18), static_cast<UINT>(BST_CHECKED));
  SendMessageA(check, BM_CLICK, 0, 0);
  EXPECT_EQ(IsDlgButtonChecked(parent_, 18), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_TRUE(CheckDlgButton(parent_, 18, BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(parent_, 18), static_cast<UINT>(BST_CHECKED));
  EXPECT_FALSE(CheckDlgButton(parent_, 99, BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(parent_, 99), 0u);

  g_notifications.clear();
  SetFocus(nullptr);
  EXPECT_FALSE(EnableWindow(push, FALSE));  // it was enabled
  EXPECT_TRUE(EnableWindow(check, FALSE) == FALSE);
  SendMessageA(push, BM_CLICK, 0, 0);
  SendMessageA(check, BM_CLICK, 0, 0);
  SendMessageA(group, BM_CLICK, 0, 0);
  EXPECT_TRUE(g_notifications.empty());
  EXPECT_EQ(IsDlgButtonChecked(parent_, 18), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_FALSE(IsWindowEnabled(push));
  EXPECT_TRUE(EnableWindow(push, TRUE));  // it was disabled
  EXPECT_TRUE(IsWindowEnabled(push));
}

TEST_F(PlatformControlsTest, FocusMovesWithNotifications) {
  HWND first = Control("EDIT", 1, "", 0);
  HWND second = Control("EDIT", 2, "", 0);
  EXPECT_EQ(SetFocus(first), nullptr);
  EXPECT_EQ(SetFocus(second), first);
  EXPECT_EQ(GetFocus(), second);
  ASSERT_EQ(g_notifications.size(), 3u);
  EXPECT_EQ(g_notifications[0].code, EN_SETFOCUS);
  EXPECT_EQ(g_notifications[0].id, 1);
  EXPECT_EQ(g_notifications[1].code, EN_KILLFOCUS);
  EXPECT_EQ(g_notifications[1].id, 1);
  EXPECT_EQ(g_notifications[2].code, EN_SETFOCUS);
  EXPECT_EQ(g_notifications[2].id, 2);
  // Hiding the focus window hands the focus to its parent; so does disabling.
  ShowWindow(second, SW_HIDE);
  EXPECT_EQ(GetFocus(), parent_);
  SetFocus(first);
  EnableWindow(first, FALSE);
  EXPECT_EQ(GetFocus(), parent_);
  // A destroyed window holds no focus.
  SetFocus(second);
  DestroyWindow(second);
  EXPECT_NE(GetFocus(), second);
  EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(second)), nullptr);  // not a window any more
}

TEST_F(PlatformControlsTest, GeometryAndCoordinateMapping) {
  HWND frame = Control("STATIC", 3, "", 0, 20, 30, 100, 60);
  HWND inner = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 5, 7, 40, 10, frame,
                               reinterpret_cast<HMENU>(4), nullptr, nullptr);
  RECT r;
  ASSERT_TRUE(GetClientRect(inner, &r));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 40);
  EXPECT_EQ(r.bottom, 10);
  // Parent at (100, 50) on the screen, frame at (20, 30), inner at (5, 7).
  ASSERT_TRUE(GetWindowRect(inner, &r));
  EXPECT_EQ(r.left, 125);
  EXPECT_EQ(r.top, 87);
  EXPECT_EQ(r.right, 165);
  EXPECT_EQ(r.bottom, 97);
  POINT points[2] = {{0, 0}, {40, 10}};
  const int shift = MapWindowPoints(inner, parent_, points, 2);
  EXPECT_EQ(points[0].x, 25);
  EXPECT_EQ(points[0].y, 37);
  EXPECT_EQ(points[1].x, 65);
  EXPECT_EQ(points[1].y, 47);
  EXPECT_EQ(LOWORD(shift), 25);
  EXPECT_EQ(HIWORD(shift), 37);
  POINT back{25, 37};
  const int negative = MapWindowPoints(parent_, inner, &back, 1);
  EXPECT_EQ(back.x, 0);
  EXPECT_EQ(back.y, 0);
  EXPECT_EQ(static_cast<short>(LOWORD(negative)), -25);
  POINT screen{0, 0};
  MapWindowPoints(inner, nullptr, &screen, 1);
  EXPECT_EQ(screen.x, 125);
  EXPECT_EQ(screen.y, 87);
  EXPECT_TRUE(MoveWindow(inner, 1, 2, 30, 40, FALSE));
  GetClientRect(inner, &r);
  EXPECT_EQ(r.right, 30);
  EXPECT_EQ(r.bottom, 40);
  EXPECT_TRUE(MoveWindow(inner, 1, 2, -5, -5, TRUE));  // negative sizes become empty
  GetClientRect(inner, &r);
  EXPECT_EQ(r.right, 0);
  EXPECT_EQ(r.bottom, 0);
  EXPECT_FALSE(GetClientRect(nullptr, &r));
  EXPECT_EQ(MapWindowPoints(reinterpret_cast<HWND>(&r), nullptr, points, 1), 0);
}

TEST_F(PlatformControlsTest, WindowTreeQueries) {
  HWND a = Control("EDIT", 1, "alpha", WS_TABSTOP);
  HWND b = Control("BUTTON", 2, "beta", BS_PUSHBUTTON);
  HWND c = Control("STATIC", -1, "gamma", 0);
  EXPECT_EQ(GetWindow(parent_, GW_CHILD), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), c);
  EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetWindow(c, GW_HWNDPREV), b);
  EXPECT_EQ(GetWindow(b, GW_HWNDFIRST), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDLAST), c);
  EXPECT_EQ(GetWindow(c, GW_CHILD), nullptr);
  EXPECT_EQ(GetParent(a), parent_);
  EXPECT_EQ(GetParent(parent_), nullptr);  // overlapped, not a pop-up
  EXPECT_EQ(GetDlgCtrlID(a), 1);
  EXPECT_EQ(GetDlgCtrlID(c), -1);
  EXPECT_EQ(GetDlgItem(parent_, -1), c);
  EXPECT_TRUE(IsChild(parent_, b));
  EXPECT_FALSE(IsChild(b, parent_));
  char name[8];
  EXPECT_EQ(GetClassNameA(b, name, sizeof name), 6);
  EXPECT_STREQ(name, "BUTTON");
  EXPECT_EQ(GetClassNameA(parent_, name, 5), 4);  // truncated with its NUL
  EXPECT_STREQ(name, "Plat");
  EXPECT_EQ(GetWindowTextLengthA(a), 5);
  EXPECT_EQ(Text(parent_), "parent");
  EXPECT_EQ(GetWindowLongA(a, GWL_STYLE), static_cast<LONG>(WS_CHILD | WS_VISIBLE | WS_TABSTOP));
  ShowWindow(a, SW_HIDE);
  EnableWindow(a, FALSE);
  EXPECT_EQ(GetWindowLongA(a, GWL_STYLE), static_cast<LONG>(WS_CHILD | WS_DISABLED | WS_TABSTOP));
  EXPECT_EQ(GetWindowLongA(b, GWL_ID), 2);
  // Visible only when the whole chain of parents is.
  EXPECT_TRUE(IsWindowVisible(b));
  ShowWindow(parent_, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(b));
  // A pop-up answers GetParent with its owner.
  HWND popup = CreateWindowExA(0, kParentClass, "popup", WS_POPUP, 0, 0, 10, 10, parent_, nullptr,
                               nullptr, nullptr);
  EXPECT_EQ(GetParent(popup), parent_);
  EXPECT_EQ(GetWindow(popup, GW_OWNER), parent_);
  // The owner takes its owned windows along when it is destroyed (TearDown).
}

TEST_F(PlatformControlsTest, GetDlgItemIntReadsLeadingDecimals) {
  Control("EDIT", 1, "", 0);
  struct Case {
    const char* text;
    BOOL isSigned;
    UINT value;
    BOOL translated;
  };
  const Case cases[] = {
      {"64", TRUE, 64, TRUE},          {"  12", TRUE, 12, TRUE},
      {"12abc", TRUE, 12, TRUE},       {"-5", TRUE, static_cast<UINT>(-5), TRUE},
      {"-5", FALSE, 0, FALSE},         {"", TRUE, 0, FALSE},
      {"abc", TRUE, 0, FALSE},         {"2147483647", TRUE, 2147483647u, TRUE},
      {"2147483648", TRUE, 0, FALSE},  {"4294967295", FALSE, 4294967295u, TRUE},
      {"4294967296", FALSE, 0, FALSE}, {"-2147483648", TRUE, 0x80000000u, TRUE},
  };
  for (const Case& c : cases) {
    SetDlgItemTextA(parent_, 1, c.text);
    BOOL translated = 7;
    EXPECT_EQ(GetDlgItemInt(parent_, 1, &translated, c.isSigned), c.value) << c.text;
    EXPECT_EQ(translated, c.translated) << c.text;
  }
  EXPECT_EQ(GetDlgItemInt(parent_, 99, nullptr, TRUE), 0u);
  EXPECT_TRUE(SetDlgItemInt(parent_, 1, static_cast<UINT>(-42), TRUE));
  EXPECT_EQ(Text(GetDlgItem(parent_, 1)), "-42");
}

int g_created = 0, g_destroyed = 0;
LRESULT RefusingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    ++g_created;
    const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    return std::strcmp(create->lpszName, "refuse") == 0 ? -1 : 0;
  }
  if (message == WM_DESTROY) ++g_destroyed;
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(PlatformControlsTest, RegisteredClassesAndWindowLifetime) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = RefusingProc;
  windowClass.lpszClassName = "RefusingClass";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  windowClass.lpszClassName = "REFUSINGCLASS";  // names compare without case
  EXPECT_EQ(RegisterClassA(&windowClass), 0);
  windowClass.lpszClassName = "Edit";  // a system class
  EXPECT_EQ(RegisterClassA(&windowClass), 0);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);  // a child without a parent

  const int before = PlatformLiveWindowCount();
  EXPECT_EQ(CreateWindowExA(0, "refusingclass", "refuse", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
  EXPECT_EQ(PlatformLiveWindowCount(), before);
  HWND window = CreateWindowExA(0, "RefusingClass", "keep", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(g_created, 2);
  EXPECT_EQ(PlatformLiveWindowCount(), before + 1);
  EXPECT_EQ(UnregisterClassA("RefusingClass", nullptr), FALSE);  // still in use
  // WM_CLOSE's default handling destroys the window.
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(g_destroyed, 2);
  EXPECT_EQ(PlatformLiveWindowCount(), before);
  // A destroyed handle stays dead: nothing reaches it.
  EXPECT_EQ(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
  EXPECT_FALSE(DestroyWindow(window));
  HWND next = CreateWindowExA(0, "RefusingClass", "next", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr);
  EXPECT_NE(next, window);  // handles are not reused
  DestroyWindow(next);
  EXPECT_TRUE(UnregisterClassA("RefusingClass", nullptr));
}

}  // namespace
