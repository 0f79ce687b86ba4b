#include "ui/main_dialog.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "bake/average_distance.h"
#include "bake/bake_pass.h"
#include "bake/parallel_rows.h"
#include "bake/texel_table.h"
#include "image/bmp_file.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"
#include "ui/control_text.h"
#include "ui/resource_ids.h"

namespace {

constexpr int kPageCount = 4;
constexpr int kPageTemplates[kPageCount] = {kIdNormalPage, kIdShadePage, kIdShadowPage, kIdAoPage};
// Tab captions, in BakeMode order.
constexpr const char* kTabCaptions[kPageCount] = {"法線", "シェード", "シャドウ", "ＡＯ"};

constexpr const char* kDefaultOutputPath = "d:\\test.bmp";

constexpr const char* kLightFormat = "%0.0f";
constexpr const char* kAoFormat = "%0.1f";

BakeSettings& Settings() { return g_plugin.settings; }

// PBM_SETRANGE takes the range as two 16-bit words; the low word of the size
// becomes the maximum, computed unsigned so no size can overflow the shift.
void SetProgressRange() {
  const DWORD maximum = static_cast<DWORD>(Settings().textureSize) & 0xFFFFu;
  SendMessageA(g_plugin.progressBar, PBM_SETRANGE, 0, static_cast<LPARAM>(maximum << 16));
}

void EnableBake(HWND dialog, bool enable) {
  EnableWindow(GetDlgItem(dialog, kIdBake), enable ? TRUE : FALSE);
}

UINT CheckState(int32_t flag) { return flag ? BST_CHECKED : BST_UNCHECKED; }

int32_t CheckedFlag(HWND window, int id) {
  return IsDlgButtonChecked(window, id) == BST_CHECKED ? 1 : 0;
}

// A table is usable only for the size it was built for.
bool HasTableForCurrentSize() {
  return g_plugin.texelTable != nullptr && g_plugin.texelTableSize == Settings().textureSize;
}

void FreeTable() {
  FreeTexelTable(g_plugin.texelTable);
  g_plugin.texelTable = nullptr;
  g_plugin.texelTableSize = 0;
}

// ---- opening ----

void InsertTabs() {
  for (int i = 0; i < kPageCount; ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(kTabCaptions[i]);  // only read by the insertion
    SendMessageA(g_plugin.tabControl, TCM_INSERTITEMA, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(&item));
  }
}

void CreatePages(HWND dialog) {
  for (int i = 0; i < kPageCount; ++i)
    g_plugin.pageWindows[i] = CreateDialogParamA(
        g_plugin.moduleInstance, MAKEINTRESOURCEA(kPageTemplates[i]), dialog, PageDialogProc, 0);
}

// Every page covers the tab control's display area.
void PlacePages(HWND dialog) {
  RECT area{};
  GetClientRect(g_plugin.tabControl, &area);
  SendMessageA(g_plugin.tabControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  MapWindowPoints(g_plugin.tabControl, dialog, reinterpret_cast<LPPOINT>(&area), 2);
  for (HWND page : g_plugin.pageWindows)
    MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
}

void ShowStoredSettings(HWND dialog) {
  CheckDlgButton(g_plugin.pageWindows[kBakeShade], kIdBackFaces, CheckState(Settings().shadeBackFaces));
  CheckDlgButton(dialog, kIdFilter, CheckState(Settings().applyFilter));
  HWND ao = g_plugin.pageWindows[kBakeAO];
  WriteControlInt(ao, kIdSamples, Settings().aoSampleCount);
  WriteControlFloat(ao, kIdSearchDistance, Settings().aoSearchDistance, kAoFormat);
  WriteControlFloat(ao, kIdSpread, Settings().aoSpreadAngle, kAoFormat);
}

void OnInitDialog(HWND dialog) {
  InitCommonControls();
  g_plugin.tabControl = GetDlgItem(dialog, kIdTab);
  InsertTabs();
  CreatePages(dialog);
  PlacePages(dialog);
  ShowWindow(g_plugin.pageWindows[kBakeNormal], SW_SHOW);

  Settings().mode = kBakeNormal;
  SetVec3(Settings().lightPosition, 0.0f, 1.0f, 0.0f);
  SyncLightPosition();

  // The edit's change notification finds its text equal to the size and
  // does nothing.
  Settings().textureSize = 64;
  WriteControlInt(dialog, kIdTextureSize, Settings().textureSize);

  EnableBake(dialog, false);
  SetDlgItemTextA(dialog, kIdOutputPath, kDefaultOutputPath);
  ShowStoredSettings(dialog);

  g_plugin.progressBar = GetDlgItem(dialog, kIdProgress);
  SetProgressRange();
  SendMessageA(g_plugin.progressBar, PBM_SETSTEP, 1, 0);
}

// ---- tab change ----

void OnTabChange() {
  // The light typed on the page being left is taken first.
  SyncLightPosition();
  ShowWindow(g_plugin.pageWindows[Settings().mode], SW_HIDE);
  // The tab control has exactly the four items; a selection outside them
  // (none selected) keeps the mode, so no page index can go astray.
  const LRESULT selected = SendMessageA(g_plugin.tabControl, TCM_GETCURSEL, 0, 0);
  if (selected >= 0 && selected < kPageCount) Settings().mode = static_cast<int32_t>(selected);
  ShowWindow(g_plugin.pageWindows[Settings().mode], SW_SHOW);
}

// ---- commands ----

void OnBuildTable(HWND dialog) {
  FreeTable();
  // Null for a size below 1 or one that cannot be allocated: then there is no
  // table and nothing to bake.
  g_plugin.texelTable = BuildTexelTable(Settings().textureSize);
  if (g_plugin.texelTable != nullptr) g_plugin.texelTableSize = Settings().textureSize;
  EnableBake(dialog, g_plugin.texelTable != nullptr);
}

void OnTextureSizeChange(HWND dialog) {
  char text[kControlTextBytes] = "";
  GetDlgItemTextA(dialog, kIdTextureSize, text, kControlTextBytes);
  if (text[0] == '\0') return;
  const int32_t size = ParseIntText(text);
  if (size == Settings().textureSize) return;
  Settings().textureSize = size;
  SetProgressRange();
  // A bake must always run with a table built for the current size.
  EnableBake(dialog, false);
}

// The AO values a bake takes, replaced where a bake could not use them.
void TakeAoSettings() {
  HWND ao = g_plugin.pageWindows[kBakeAO];
  const int32_t samples = ReadControlInt(ao, kIdSamples);
  Settings().aoSampleCount = samples < 0 ? 1 : samples;
  const float distance = ReadControlFloat(ao, kIdSearchDistance);
  Settings().aoSearchDistance = distance >= 0.0f ? distance : 1.0f;  // NaN included
  Settings().aoSpreadAngle = ReadControlFloat(ao, kIdSpread);
}

void WriteBakedFile(HWND dialog) {
  BmpImageFile* file = g_plugin.pixelImage.EncodeBmp();
  char path[kControlTextBytes] = "";
  GetDlgItemTextA(dialog, kIdOutputPath, path, kControlTextBytes);
  // No picture (a size below 1, or no memory) writes nothing, like an empty
  // path; a path that cannot be opened writes nothing without a word.
  if (file != nullptr && path[0] != '\0') {
    FileStream stream;
    stream.Open(path, "w");
    stream.Write(BmpFileBytes(file), BmpFileSize(file));
    stream.Close();
  }
  FreeBmpImageFile(file);
}

void OnBake(HWND dialog) {
  SyncLightPosition();
  Settings().shadeBackFaces = CheckedFlag(g_plugin.pageWindows[kBakeShade], kIdBackFaces);
  Settings().applyFilter = CheckedFlag(dialog, kIdFilter);
  TakeAoSettings();
  SendMessageA(GetDlgItem(dialog, kIdProgress), PBM_SETPOS, 0, 0);
  g_plugin.bakeStartTick = GetTickCount();
  RunBakePass(dialog);
  SendMessageA(GetDlgItem(dialog, kIdProgress), PBM_SETPOS, 0, 0);
  WriteBakedFile(dialog);
}

void OnCommand(HWND dialog, WORD id) {
  switch (id) {
    case kIdOk:
      EndDialog(dialog, 1);
      break;
    case kIdCancel:
      PostMessageA(dialog, WM_CLOSE, 0, 0);
      break;
    case kIdBuildTable:
      OnBuildTable(dialog);
      break;
    case kIdTextureSize:
      OnTextureSizeChange(dialog);
      break;
    case kIdBake:
      OnBake(dialog);
      break;
    default:
      break;
  }
}

void OnClose(HWND dialog) {
  for (HWND page : g_plugin.pageWindows) EndDialog(page, 0);
  EndDialog(dialog, 0);
}

// ---- the AO page ----

void OnAverageDistance(HWND page) {
  // Without a table for the current size there is nothing to average; the
  // edit keeps what it shows.
  if (!HasTableForCurrentSize()) return;
  BuildOccluderSet(BakeThreadCount());
  const double average = AverageOccluderDistance();
  WriteControlFloat(page, kIdSearchDistance, average, kAoFormat);
}

}  // namespace

void SyncLightPosition() {
  BakeSettings& settings = Settings();
  if (settings.mode == kBakeShade || settings.mode == kBakeShadow) {
    HWND page = g_plugin.pageWindows[settings.mode];
    settings.lightPosition.x = ReadControlFloat(page, kIdLightX);
    settings.lightPosition.y = ReadControlFloat(page, kIdLightY);
    settings.lightPosition.z = ReadControlFloat(page, kIdLightZ);
  }
  for (int mode : {kBakeShade, kBakeShadow}) {
    HWND page = g_plugin.pageWindows[mode];
    WriteControlFloat(page, kIdLightX, settings.lightPosition.x, kLightFormat);
    WriteControlFloat(page, kIdLightY, settings.lightPosition.y, kLightFormat);
    WriteControlFloat(page, kIdLightZ, settings.lightPosition.z, kLightFormat);
  }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      // The source is recognised by its window; its identifier is not examined.
      if (header != nullptr && header->code == TCN_SELCHANGE && header->hwndFrom == g_plugin.tabControl)
        OnTabChange();
      return TRUE;
    }
    case WM_COMMAND:
      // The notification code in the high word is never examined.
      OnCommand(dialog, LOWORD(wParam));
      return FALSE;
    case WM_CLOSE:
      OnClose(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK PageDialogProc(HWND page, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdAverage) OnAverageDistance(page);
      return FALSE;
    default:
      return FALSE;
  }
}
