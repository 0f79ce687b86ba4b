// Opens the plug-in's dialog as a host does, on a chosen tab, and holds it
// there for scripts/windows/screenshot.sh: once the dialog has been shown
// and painted it writes the dialog's screen rectangle ("x y width height")
// into READY_FILE, then waits until DONE_FILE exists (at most 60 s) and ends
// the dialog with OK.
//
//   dialog_screenshot PLUGIN.dll HOST_MODULE.dll TAB READY_FILE DONE_FILE
#include <cstdio>
#include <cstdlib>
#include <string>

#include "document.h"
#include "session.h"
#include "win32.h"

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMilliseconds = 100;
constexpr int kPaintPolls = 5;        // let the dialog paint before it is photographed
constexpr int kMostPolls = 600;       // give up after a minute

struct Hold {
  int tab = 0;
  std::string readyFile, doneFile;
  HWND dialog = nullptr;
  int polls = 0;
  bool ready = false;
};
Hold g_hold;

void SelectTab(HWND dialog, int index) {
  HWND tab = GetDlgItem(dialog, 1016);
  if (tab == nullptr || SendMessageA(tab, TCM_GETCURSEL, 0, 0) == index) return;
  SendMessageA(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  NMHDR header{};
  header.hwndFrom = tab;
  header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(tab));
  header.code = TCN_SELCHANGE;
  SendMessageA(dialog, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void CALLBACK OnPoll(HWND, UINT, UINT_PTR, DWORD) {
  Hold& hold = g_hold;
  ++hold.polls;
  if (!hold.ready && hold.polls >= kPaintPolls && IsWindowVisible(hold.dialog)) {
    RECT rect{};
    GetWindowRect(hold.dialog, &rect);
    if (FILE* file = std::fopen(hold.readyFile.c_str(), "w")) {
      std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
      std::fclose(file);
    }
    hold.ready = true;
  }
  if ((hold.ready && Exists(hold.doneFile)) || hold.polls > kMostPolls) {
    KillTimer(nullptr, kPollTimer);
    PostMessageA(hold.dialog, WM_COMMAND, IDOK, 0);
  }
}

LRESULT CALLBACK ScreenshotHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX && g_hold.dialog == nullptr) {
    g_hold.dialog = reinterpret_cast<HWND>(lParam);
    SelectTab(g_hold.dialog, g_hold.tab);
    SetTimer(nullptr, kPollTimer, kPollMilliseconds, OnPoll);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: dialog_screenshot PLUGIN.dll HOST_MODULE.dll TAB READY_FILE DONE_FILE\n");
    return 2;
  }
  g_hold.tab = std::atoi(argv[3]);
  g_hold.readyFile = argv[4];
  g_hold.doneFile = argv[5];

  host::PluginModule plugin = host::LoadPlugin(argv[1]);
  if (!plugin.complete() || !plugin.MQInit(argv[2])) {
    std::fprintf(stderr, "dialog_screenshot: cannot load %s with the host module %s\n", argv[1], argv[2]);
    return 1;
  }
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ScreenshotHostProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TamsinkScreenshotHost";
  RegisterClassA(&windowClass);
  HWND hostWindow = CreateWindowExA(0, windowClass.lpszClassName, "host", 0, 0, 0, 100, 100, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
  host::SetMainWindow(hostWindow);

  host::Document document;
  host::Object& quad = host::AddObject(document, "quad");
  quad.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  quad.faces = {host::Face{{0, 1, 2, 3}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}}};
  plugin.MQModifyObject(0, host::Handle(document));

  host::SetMainWindow(nullptr);
  DestroyWindow(hostWindow);
  host::UnloadPlugin(plugin);
  return g_hold.ready ? 0 : 1;
}
