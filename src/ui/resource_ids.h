// Identifiers of the dialog templates and their controls, as the resource
// script Tamsink.rc carries them. The script writes the same numbers as
// literals (windres and the stand-in reader both need it to stand alone), so
// a change here must be made there too; tests/resource_script_test.cpp holds
// the two together.
#pragma once

// Templates: the modal main dialog and its four tab pages, one per BakeMode.
constexpr int kIdMainDialog = 101;
constexpr int kIdNormalPage = 103;
constexpr int kIdShadePage = 104;
constexpr int kIdShadowPage = 105;
constexpr int kIdAoPage = 106;

// Unnamed statics and group boxes.
constexpr int kIdUnnamed = -1;

// Commands the dialog manager sends without a control of that identifier:
// Enter away from a push button, and Escape.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Main dialog (template 101).
constexpr int kIdOutputPath = 1000;   // EDIT: the BMP file path
constexpr int kIdBuildTable = 1005;   // BUTTON "ﾃｰﾌﾞﾙ作成"
constexpr int kIdBake = 1006;         // BUTTON "BMPを作成"
constexpr int kIdTextureSize = 1013;  // EDIT: texels per side
constexpr int kIdTab = 1016;          // SysTabControl32: the bake mode
constexpr int kIdFilter = 1018;       // auto check box "フィルタをかける"
constexpr int kIdProgress = 1019;     // msctls_progress32
constexpr int kIdElapsed = 1021;      // STATIC "00:00"

// Shade page (104) and Shadow page (105): the light position.
constexpr int kIdLightX = 1002;      // EDIT
constexpr int kIdLightY = 1008;      // EDIT
constexpr int kIdLightZ = 1009;      // EDIT
constexpr int kIdBackFaces = 1017;   // auto check box, Shade page only

// AO page (106).
constexpr int kIdSearchDistance = 1022;  // EDIT
constexpr int kIdAverage = 1023;         // BUTTON "平均距離算出"
constexpr int kIdSpread = 1024;          // EDIT
constexpr int kIdSamples = 1025;         // EDIT
