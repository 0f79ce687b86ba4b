// The Windows plug-in as a Windows host meets it: Tamsink.dll loaded with
// LoadLibraryA, its entry points found with GetProcAddress, the host module
// bound by MQInit, and its dialog templates built by the system's own dialog
// manager and common controls. Runs under Wine with the ANSI code page 932.
//
// Every expected caption is written as its code page 932 bytes (worked out
// with iconv, not by the compiler that built the plug-in), and every position
// in dialog units as the templates define it, so a wrong conversion or a
// wrong template fails here whatever the plug-in's own sources say.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "document.h"
#include "shell/host_api.h"
#include "win32.h"

namespace {

// ---------------------------------------------------------------------------
// Expected values.

constexpr char kMenuCommand[] = "\x4f\x72\x76\x65\x6c\x6c\x65\x20\x83\xbf";  // Orvelle α
constexpr char kPluginName[] = "\x4f\x72\x76\x65\x6c\x6c\x65\x20\x83\xbf\x20\x30\x2e\x33";
constexpr char kDialogFont[] = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";

struct ControlSpec {
  int id;             // -1: unnamed
  const char* className;
  const char* text;   // code page 932 bytes
  int x, y, cx, cy;   // dialog units
  DWORD style;        // the style bits below kStyleMask
};

// What the dialog manager must keep of a template's control style. WS_BORDER
// is left out: the dialog manager turns an edit's border into a client edge.
constexpr DWORD kStyleMask = 0xFFFFu | WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP;

constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kPush = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kCheck = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kGroupBox = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;

const std::vector<ControlSpec> kMainControls = {
    {1000, "Edit", "", 7, 116, 91, 12, kEdit},
    {1005, "Button", "\xc3\xb0\xcc\xde\xd9\x8d\xec\x90\xac", 115, 7, 40, 13, kPush},        // ﾃｰﾌﾞﾙ作成
    {1006, "Button", "\x42\x4d\x50\x82\xf0\x8d\xec\x90\xac", 7, 142, 148, 16, kPush},       // BMPを作成
    {-1, "Static", "\xc3\xb8\xbd\xc1\xac\xbb\xb2\xbd\xde", 7, 10, 35, 8, kLabel},           // ﾃｸｽﾁｬｻｲｽﾞ
    {1013, "Edit", "", 45, 7, 30, 13, kEdit},
    {1016, "SysTabControl32", "Tab1", 7, 24, 148, 85, WS_CHILD | WS_VISIBLE},
    {1018, "Button", "\x83\x74\x83\x42\x83\x8b\x83\x5e\x82\xf0\x82\xa9\x82\xaf\x82\xe9",   // フィルタをかける
     7, 129, 63, 10, kCheck},
    {1019, "msctls_progress32", "Progress1", 7, 160, 122, 13, WS_CHILD | WS_VISIBLE},
    {1021, "Static", "00:00", 132, 162, 23, 12, kLabel},
};

// The light controls, shared by the Shade and Shadow pages.
const std::vector<ControlSpec> kLightControls = {
    {1002, "Edit", "", 99, 17, 28, 12, kEdit},
    {-1, "Button", "\x8c\xf5\x8c\xb9\x8d\xc0\x95\x57", 81, 7, 52, 55, kGroupBox},  // 光源座標
    {-1, "Static", "X", 88, 19, 8, 9, kLabel},
    {1008, "Edit", "", 99, 31, 28, 12, kEdit},
    {-1, "Static", "Y", 88, 33, 8, 9, kLabel},
    {1009, "Edit", "", 99, 45, 28, 12, kEdit},
    {-1, "Static", "Z", 88, 47, 8, 9, kLabel},
};

std::vector<ControlSpec> ShadeControls() {
  std::vector<ControlSpec> controls = kLightControls;
  controls.push_back({1017, "Button",
                      "\x94\x77\x96\xca\x82\xe0\xbc\xaa\xb0\xc3\xde\xa8\xdd\xb8\xde",  // 背面もｼｪｰﾃﾞｨﾝｸﾞ
                      8, 10, 65, 10, kCheck});
  return controls;
}

const std::vector<ControlSpec> kAoControls = {
    {1022, "Edit", "", 55, 27, 27, 12, kEdit},
    {-1, "Static", "\x92\x54\x8d\xb8\x8b\x97\x97\xa3", 15, 29, 32, 8, kLabel},  // 探査距離
    {-1, "Static", "\x8a\x67\x8e\x55\x8a\x70\x93\x78", 15, 45, 32, 8, kLabel},  // 拡散角度
    {1024, "Edit", "", 55, 43, 27, 12, kEdit},
    {-1, "Static", "\x83\x54\x83\x93\x83\x76\x83\x8a\x83\x93\x83\x4f\x90\x94",   // サンプリング数
     7, 9, 44, 8, kLabel},
    {1025, "Edit", "", 54, 7, 27, 12, kEdit},
    {1023, "Button", "\x95\xbd\x8b\xcf\x8b\x97\x97\xa3\x8e\x5a\x8f\x6f", 86, 28, 47, 12, kPush},  // 平均距離算出
};

// Tab captions in mode order: 法線, シェード, シャドウ, ＡＯ.
const char* const kTabCaptions[4] = {"\x96\x40\x90\xfc", "\x83\x56\x83\x46\x81\x5b\x83\x68",
                                     "\x83\x56\x83\x83\x83\x68\x83\x45", "\x82\x60\x82\x6e"};

const char* const kExports[7] = {"MQCheckVersion", "MQGetPlugInID", "MQGetPlugInName", "MQGetPlugInType",
                                 "MQEnumString",   "MQInit",        "MQModifyObject"};

// ---------------------------------------------------------------------------
// Helpers.

std::string WindowText(HWND window) {
  char text[512] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[128] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " - " + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The controls of a dialog made from a template, in template (z) order.
void ExpectControls(HWND dialog, const std::vector<ControlSpec>& expected) {
  const std::vector<HWND> children = Children(dialog);
  ASSERT_EQ(children.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const ControlSpec& want = expected[i];
    HWND control = children[i];
    SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(want.id) + ")");
    EXPECT_EQ(GetDlgCtrlID(control) & 0xFFFF, want.id & 0xFFFF);
    EXPECT_EQ(lstrcmpiA(ClassOf(control).c_str(), want.className), 0) << ClassOf(control);
    EXPECT_EQ(WindowText(control), want.text);
    // The dialog manager converts the position and the size from dialog
    // units each on its own (MapDialogRect converts every field alone).
    RECT place = {want.x, want.y, want.cx, want.cy};
    MapDialogRect(dialog, &place);
    place.right += place.left;
    place.bottom += place.top;
    const RECT actual = RectInParent(control);
    EXPECT_TRUE(EqualRect(&place, &actual) != FALSE) << Describe(actual) << " instead of " << Describe(place);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) & kStyleMask, want.style);
  }
}

// The face name and size of the font the dialog manager made from a
// template's FONT line: 9 points at the screen's resolution. (The character
// set byte of the line is not checked: Wine's dialog manager asks for the
// default character set whatever the template says.)
void ExpectTemplateFont(HWND dialog) {
  const HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTA logFont{};
  ASSERT_NE(GetObjectA(font, sizeof logFont, &logFont), 0);
  EXPECT_STREQ(logFont.lfFaceName, kDialogFont);
  HDC screen = GetDC(nullptr);
  const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(logFont.lfHeight, -MulDiv(9, pixelsPerInch, 72));
}

class Win32PluginTest : public testing::Test {
 protected:
  void SetUp() override {
    // Every caption below is code page 932: without it Wine reads them as '?'.
    ASSERT_EQ(GetACP(), 932u) << "run with LC_CTYPE=ja_JP.UTF-8 so that Wine's ANSI code page is 932";
    module_ = LoadLibraryA(TAMSINK_PLUGIN_MODULE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  template <typename Proc>
  Proc Entry(const char* name) {
    const FARPROC address = GetProcAddress(module_, name);
    Proc proc = nullptr;
    static_assert(sizeof proc == sizeof address, "function pointers differ in size");
    std::memcpy(&proc, &address, sizeof proc);
    return proc;
  }

  HMODULE module_ = nullptr;
};

// ---------------------------------------------------------------------------
// Exports.

TEST_F(Win32PluginTest, ExportsTheSevenEntryPointsUndecoratedAndNothingElse) {
  for (const char* name : kExports) EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
  // The export table holds ordinals 1 to 7 only.
  for (WORD ordinal = 1; ordinal <= 7; ++ordinal)
    EXPECT_NE(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal)), nullptr) << ordinal;
  EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(8)), nullptr);
  // Neither decorated names nor the library's own functions.
  for (const char* name : {"_MQInit@4", "MQInit@4", "DllMain", "RunInvocation", "MainDialogProc", "_Z13RunInvocationv"})
    EXPECT_EQ(GetProcAddress(module_, name), nullptr) << name;
}

TEST_F(Win32PluginTest, IdentityEntryPointsAnswerInCodePage932) {
  typedef DWORD (*CheckVersion)(DWORD);
  typedef void (*GetPlugInId)(DWORD*, DWORD*);
  typedef const char* (*GetText)();
  typedef int (*GetType)();
  typedef const char* (*EnumString)(int);
  const auto checkVersion = Entry<CheckVersion>("MQCheckVersion");
  const auto getId = Entry<GetPlugInId>("MQGetPlugInID");
  const auto getName = Entry<GetText>("MQGetPlugInName");
  const auto getType = Entry<GetType>("MQGetPlugInType");
  const auto enumString = Entry<EnumString>("MQEnumString");
  ASSERT_TRUE(checkVersion && getId && getName && getType && enumString);

  EXPECT_EQ(checkVersion(0), 561u);
  EXPECT_EQ(checkVersion(0xFFFFFFFFu), 561u);
  DWORD product = 0, id = 0;
  getId(&product, &id);
  EXPECT_EQ(product, 0x5A3C1E07u);
  EXPECT_EQ(id, 0x6B2D4F19u);
  EXPECT_EQ(getType(), 4);
  EXPECT_STREQ(getName(), kPluginName);
  EXPECT_STREQ(enumString(0), kMenuCommand);
  EXPECT_EQ(enumString(1), nullptr);
}

TEST_F(Win32PluginTest, TheLibraryIsNamedTamsinkDll) {
  char path[MAX_PATH] = "";
  const DWORD length = GetModuleFileNameA(module_, path, sizeof path);
  ASSERT_GT(length, 11u);
  EXPECT_EQ(lstrcmpiA(path + length - 11, "Tamsink.dll"), 0) << path;
}

// ---------------------------------------------------------------------------
// The host binding.

// Every one of the 122 names is an export of the stand-in host module; each
// variant lacks exactly its one.
TEST_F(Win32PluginTest, HostModulesExportTheNamesTheBindingNeeds) {
  struct Case {
    const char* path;
    const char* missing;
  };
  const Case cases[] = {
      {TAMSINK_HOST_MODULE, nullptr},
      {TAMSINK_HOST_NO_LAST_MODULE, "MQMat_SetBumpName"},
      {TAMSINK_HOST_NO_MIDDLE_MODULE, "MQObj_GetFaceCount"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    HMODULE host = LoadLibraryA(c.path);
    ASSERT_NE(host, nullptr);
    std::vector<std::string> missing;
    for (const char* name : kHostEntryPointNames)
      if (GetProcAddress(host, name) == nullptr) missing.push_back(name);
    FreeLibrary(host);
    EXPECT_EQ(missing, c.missing == nullptr ? std::vector<std::string>{} : std::vector<std::string>{c.missing});
  }
}

TEST_F(Win32PluginTest, MQInitBindsOnlyAHostWithAllNames) {
  typedef BOOL (*Init)(const char*);
  const auto init = Entry<Init>("MQInit");
  ASSERT_NE(init, nullptr);
  EXPECT_EQ(init(TAMSINK_HOST_NO_LAST_MODULE), FALSE);
  EXPECT_EQ(init(TAMSINK_HOST_NO_MIDDLE_MODULE), FALSE);
  EXPECT_EQ(init("Z:\\no\\such\\folder\\host.dll"), FALSE);
  EXPECT_EQ(init(TAMSINK_HOST_MODULE), TRUE);
  // The plug-in keeps no reference of its own to the host module: a module
  // nobody else holds is unloaded again after the binding.
  EXPECT_EQ(GetModuleHandleA("tamsink_host_refcount.dll"), nullptr);
  EXPECT_EQ(init(TAMSINK_HOST_REFCOUNT_MODULE), TRUE);
  EXPECT_EQ(GetModuleHandleA("tamsink_host_refcount.dll"), nullptr);
}

TEST_F(Win32PluginTest, AnotherMenuIndexMakesNoHostCall) {
  typedef BOOL (*Init)(const char*);
  typedef BOOL (*Modify)(int, MQDocument);
  const auto init = Entry<Init>("MQInit");
  const auto modify = Entry<Modify>("MQModifyObject");
  ASSERT_TRUE(init && modify);
  ASSERT_EQ(init(TAMSINK_HOST_MODULE), TRUE);
  host::Document document;
  host::AddObject(document, "empty");
  host::ClearCallLog();
  EXPECT_EQ(modify(1, host::Handle(document)), FALSE);
  EXPECT_TRUE(host::CallLog().empty());
  EXPECT_EQ(document.compactCount, 0);
}

// ---------------------------------------------------------------------------
// Resources and templates.

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
  if (IS_INTRESOURCE(name))
    reinterpret_cast<std::vector<int>*>(names)->push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
  else
    reinterpret_cast<std::vector<int>*>(names)->push_back(-1);
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::vector<int>*>(languages)->push_back(language);
  return TRUE;
}

TEST_F(Win32PluginTest, CarriesFiveJapaneseDialogTemplates) {
  std::vector<int> names;
  EnumResourceNamesA(module_, MAKEINTRESOURCEA(5) /* RT_DIALOG */, CollectName, reinterpret_cast<LONG_PTR>(&names));
  EXPECT_EQ(names, (std::vector<int>{101, 103, 104, 105, 106}));
  for (int id : {101, 103, 104, 105, 106}) {
    SCOPED_TRACE(id);
    std::vector<int> languages;
    EnumResourceLanguagesA(module_, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<int>{0x411});
  }
}

TEST_F(Win32PluginTest, TheDialogManagerBuildsTheMainTemplateAsDefined) {
  InitCommonControls();
  HWND dialog = CreateDialogParamA(module_, MAKEINTRESOURCEA(101), nullptr, InertDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(WindowText(dialog), kMenuCommand);
  const DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CHILD | WS_VISIBLE), WS_POPUP | WS_CAPTION | WS_SYSMENU);
  // The client area is 162 x 180 dialog units.
  RECT client{}, units = {0, 0, 162, 180};
  GetClientRect(dialog, &client);
  MapDialogRect(dialog, &units);
  EXPECT_TRUE(EqualRect(&client, &units) != FALSE) << Describe(client) << " instead of " << Describe(units);
  ExpectTemplateFont(dialog);
  ExpectControls(dialog, kMainControls);
  DestroyWindow(dialog);
}

TEST_F(Win32PluginTest, TheDialogManagerBuildsThePageTemplatesAsDefined) {
  InitCommonControls();
  HWND owner = CreateDialogParamA(module_, MAKEINTRESOURCEA(101), nullptr, InertDialogProc, 0);
  ASSERT_NE(owner, nullptr);
  const struct {
    int id;
    std::vector<ControlSpec> controls;
  } pages[] = {{103, {}}, {104, ShadeControls()}, {105, kLightControls}, {106, kAoControls}};
  for (const auto& page : pages) {
    SCOPED_TRACE(page.id);
    HWND window = CreateDialogParamA(module_, MAKEINTRESOURCEA(page.id), owner, InertDialogProc, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetParent(window), owner);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_POPUP), static_cast<DWORD>(WS_CHILD));
    RECT client{}, units = {0, 0, 140, 69};
    GetClientRect(window, &client);
    MapDialogRect(window, &units);
    EXPECT_TRUE(EqualRect(&client, &units) != FALSE) << Describe(client) << " instead of " << Describe(units);
    ExpectTemplateFont(window);
    ExpectControls(window, page.controls);
  }
  DestroyWindow(owner);
}

// ---------------------------------------------------------------------------
// The plug-in's own dialog, opened by a bake invocation and looked at from
// the host's window when the dialog manager first reports it idle: the tab
// items the plug-in inserted and the pages it laid over the tab control.

struct Inspection {
  HWND dialog = nullptr;
  std::string caption;
  std::vector<std::string> tabs;
  std::vector<HWND> pages;
  std::vector<RECT> pageRects;
  std::vector<bool> pageVisible;
  RECT display{};
  RECT tabRect{};
};
Inspection* g_inspection = nullptr;

void Inspect(HWND dialog, Inspection& seen) {
  seen.dialog = dialog;
  seen.caption = WindowText(dialog);
  HWND tab = GetDlgItem(dialog, 1016);
  const int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[64] = "";
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    seen.tabs.push_back(text);
  }
  seen.tabRect = RectInParent(tab);
  GetClientRect(tab, &seen.display);
  SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&seen.display));
  MapWindowPoints(tab, dialog, reinterpret_cast<POINT*>(&seen.display), 2);
  for (HWND child : Children(dialog)) {
    if (ClassOf(child) != "#32770") continue;
    seen.pages.push_back(child);
    seen.pageRects.push_back(RectInParent(child));
    seen.pageVisible.push_back(IsWindowVisible(child) != FALSE);
  }
}

LRESULT CALLBACK InspectingHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX && g_inspection != nullptr) {
    HWND dialog = reinterpret_cast<HWND>(lParam);
    if (g_inspection->dialog == nullptr) {
      Inspect(dialog, *g_inspection);
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(Win32PluginTest, TheOpenDialogShowsTheTabsAndLaysThePagesOverTheTabControl) {
  typedef BOOL (*Init)(const char*);
  typedef BOOL (*Modify)(int, MQDocument);
  const auto init = Entry<Init>("MQInit");
  const auto modify = Entry<Modify>("MQModifyObject");
  ASSERT_TRUE(init && modify);
  ASSERT_EQ(init(TAMSINK_HOST_MODULE), TRUE);

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = InspectingHostProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TamsinkInspectingHost";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  HWND hostWindow = CreateWindowExA(0, windowClass.lpszClassName, "host", 0, 0, 0, 640, 480, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
  ASSERT_NE(hostWindow, nullptr);
  host::SetMainWindow(hostWindow);

  host::Document document;
  host::Object& quad = host::AddObject(document, "quad");
  quad.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  quad.faces = {host::Face{{0, 1, 2, 3}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}}};
  Inspection seen;
  g_inspection = &seen;
  const BOOL returned = modify(0, host::Handle(document));
  g_inspection = nullptr;
  host::SetMainWindow(nullptr);
  DestroyWindow(hostWindow);
  UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);

  EXPECT_EQ(returned, TRUE);
  ASSERT_NE(seen.dialog, nullptr);
  EXPECT_EQ(seen.caption, kMenuCommand);
  ASSERT_EQ(seen.tabs.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(seen.tabs[i], kTabCaptions[i]) << "tab " << i;
  ASSERT_EQ(seen.pages.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE("page " + std::to_string(i));
    EXPECT_TRUE(EqualRect(&seen.pageRects[i], &seen.display) != FALSE)
        << Describe(seen.pageRects[i]) << " instead of " << Describe(seen.display);
    EXPECT_EQ(seen.pageVisible[i], i == 0);
  }
  // The display area lies inside the tab control, below its row of tabs.
  EXPECT_GT(seen.display.left, seen.tabRect.left);
  EXPECT_GT(seen.display.top, seen.tabRect.top + 8);
  EXPECT_LT(seen.display.right, seen.tabRect.right);
  EXPECT_LT(seen.display.bottom, seen.tabRect.bottom);
}

}  // namespace
