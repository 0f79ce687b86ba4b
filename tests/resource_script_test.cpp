// The plug-in's resource script and the stand-in's reader of it: the five
// templates as the dialog design lays them out (typed here independently of
// the reader), the script embedded into a library byte for byte, the
// per-instance registry, the reader's rules, and its refusal of anything
// outside the subset without ever reading out of bounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "embedded_resource_script.h"
#include "platform_hooks.h"
#include "resource_script.h"
#include "ui/resource_ids.h"

namespace {

// Control styles, worked out by hand from the Windows header values:
// WS_CHILD 0x40000000, WS_VISIBLE 0x10000000, WS_BORDER 0x00800000,
// WS_GROUP 0x00020000, WS_TABSTOP 0x00010000, ES_AUTOHSCROLL 0x80,
// BS_PUSHBUTTON 0, BS_AUTOCHECKBOX 3, BS_GROUPBOX 7, SS_LEFT 0. The same
// numbers came out of windres 2.40 compiling the script and decompiling the
// result.
constexpr DWORD kEditStyle = 0x50810080;      // border, tab stop, auto horizontal scroll
constexpr DWORD kPushStyle = 0x50010000;      // push button, tab stop
constexpr DWORD kLabelStyle = 0x50020000;     // left-aligned text, group
constexpr DWORD kTabStyle = 0x50000000;       // plain
constexpr DWORD kCheckStyle = 0x50010003;     // automatic check box, tab stop
constexpr DWORD kProgressStyle = 0x50800000;  // border
constexpr DWORD kGroupBoxStyle = 0x50000007;  // group box

// DS_MODALFRAME 0x80 | WS_POPUP 0x80000000 | WS_CAPTION 0x00C00000 |
// WS_SYSMENU 0x00080000, plus DS_SETFONT 0x40 that the FONT statement adds.
constexpr DWORD kMainStyle = 0x80C800C0;
// WS_CHILD plus DS_SETFONT; not visible.
constexpr DWORD kPageStyle = 0x40000040;

// Japanese (primary 0x11), default sublanguage (1): 1 << 10 | 0x11.
constexpr WORD kJapanese = 0x0411;

struct ExpectedControl {
  int id;
  const char* className;
  const char* text;  // code page 932 (this file is compiled to it)
  DWORD style;
  int x, y, cx, cy;
};

const std::vector<ExpectedControl> kMainControls = {
    {1000, "EDIT", "", kEditStyle, 7, 116, 91, 12},
    {1005, "BUTTON", "ﾃｰﾌﾞﾙ作成", kPushStyle, 115, 7, 40, 13},
    {1006, "BUTTON", "BMPを作成", kPushStyle, 7, 142, 148, 16},
    {-1, "STATIC", "ﾃｸｽﾁｬｻｲｽﾞ", kLabelStyle, 7, 10, 35, 8},
    {1013, "EDIT", "", kEditStyle, 45, 7, 30, 13},
    {1016, "SysTabControl32", "Tab1", kTabStyle, 7, 24, 148, 85},
    {1018, "BUTTON", "フィルタをかける", kCheckStyle, 7, 129, 63, 10},
    {1019, "msctls_progress32", "Progress1", kProgressStyle, 7, 160, 122, 13},
    {1021, "STATIC", "00:00", kLabelStyle, 132, 162, 23, 12},
};

const std::vector<ExpectedControl> kShadeControls = {
    {1002, "EDIT", "", kEditStyle, 99, 17, 28, 12},
    {-1, "BUTTON", "光源座標", kGroupBoxStyle, 81, 7, 52, 55},
    {-1, "STATIC", "X", kLabelStyle, 88, 19, 8, 9},
    {1008, "EDIT", "", kEditStyle, 99, 31, 28, 12},
    {-1, "STATIC", "Y", kLabelStyle, 88, 33, 8, 9},
    {1009, "EDIT", "", kEditStyle, 99, 45, 28, 12},
    {-1, "STATIC", "Z", kLabelStyle, 88, 47, 8, 9},
    {1017, "BUTTON", "背面もｼｪｰﾃﾞｨﾝｸﾞ", kCheckStyle, 8, 10, 65, 10},
};

// The Shadow page: the first seven controls of the Shade page.
const std::vector<ExpectedControl> kShadowControls(kShadeControls.begin(), kShadeControls.begin() + 7);

const std::vector<ExpectedControl> kAoControls = {
    {1022, "EDIT", "", kEditStyle, 55, 27, 27, 12},
    {-1, "STATIC", "探査距離", kLabelStyle, 15, 29, 32, 8},
    {-1, "STATIC", "拡散角度", kLabelStyle, 15, 45, 32, 8},
    {1024, "EDIT", "", kEditStyle, 55, 43, 27, 12},
    {-1, "STATIC", "サンプリング数", kLabelStyle, 7, 9, 44, 8},
    {1025, "EDIT", "", kEditStyle, 54, 7, 27, 12},
    {1023, "BUTTON", "平均距離算出", kPushStyle, 86, 28, 47, 12},
};

struct ExpectedDialog {
  int id;
  const char* caption;
  DWORD style;
  int x, y, cx, cy;
  const std::vector<ExpectedControl>* controls;
};

const ExpectedDialog kDialogs[] = {
    {101, "Orvelle α", kMainStyle, 0, 0, 162, 180, &kMainControls},
    {103, "", kPageStyle, 0, 0, 140, 69, nullptr},
    {104, "", kPageStyle, 0, 0, 140, 69, &kShadeControls},
    {105, "", kPageStyle, 0, 0, 140, 69, &kShadowControls},
    {106, "", kPageStyle, 0, 0, 140, 69, &kAoControls},
};

ResourceScript ParseEmbedded() {
  ResourceScript script;
  EXPECT_TRUE(ParseResourceScript(kEmbeddedResourceScript, kEmbeddedResourceScriptSize, &script));
  return script;
}

bool Parses(const std::string& text, ResourceScript* script = nullptr) {
  ResourceScript local;
  // An exactly sized heap copy, so a read past the end is a real overread.
  std::vector<char> bytes(text.begin(), text.end());
  return ParseResourceScript(bytes.data(), bytes.size(), script != nullptr ? script : &local);
}

const std::string kHeader = "#pragma code_page(65001)\n";

TEST(ResourceScriptTest, TheFiveTemplatesInOrderAsDesigned) {
  const ResourceScript script = ParseEmbedded();
  ASSERT_EQ(script.dialogs.size(), std::size(kDialogs));
  for (size_t d = 0; d < std::size(kDialogs); ++d) {
    const ExpectedDialog& want = kDialogs[d];
    const DialogTemplate& got = script.dialogs[d];
    SCOPED_TRACE("template " + std::to_string(want.id));
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.caption, want.caption);
    EXPECT_EQ(got.style, want.style);
    EXPECT_EQ(got.exStyle, 0u);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.language, kJapanese);
    EXPECT_TRUE(got.hasFont);
    EXPECT_EQ(got.fontSize, 9);
    EXPECT_EQ(got.fontFace, "ＭＳ Ｐゴシック");
    const std::vector<ExpectedControl> none;
    const std::vector<ExpectedControl>& controls = want.controls ? *want.controls : none;
    ASSERT_EQ(got.controls.size(), controls.size());
    for (size_t c = 0; c < controls.size(); ++c) {
      const ExpectedControl& wc = controls[c];
      const DialogControlTemplate& gc = got.controls[c];
      SCOPED_TRACE("control " + std::to_string(c) + " id " + std::to_string(wc.id));
      EXPECT_EQ(gc.id, wc.id);
      EXPECT_EQ(gc.className, wc.className);
      EXPECT_EQ(gc.text, wc.text);
      EXPECT_EQ(gc.style, wc.style);
      EXPECT_EQ(gc.exStyle, 0u);
      EXPECT_EQ(gc.x, wc.x);
      EXPECT_EQ(gc.y, wc.y);
      EXPECT_EQ(gc.cx, wc.cx);
      EXPECT_EQ(gc.cy, wc.cy);
    }
  }
}

// The literals above are code page 932 only because of the compiler's
// execution character set; these bytes come from the code page 932 table
// itself (half-width katakana are single bytes 0xA1 to 0xDF, ﾃ = 0xC3,
// ｰ = 0xB0, ﾌ = 0xCC, ﾞ = 0xDE, ﾙ = 0xD9; 作 = 0x8D 0xEC, 成 = 0x90 0xAC;
// α = 0x83 0xBF; full-width Ｍ = 0x82 0x6C).
TEST(ResourceScriptTest, CaptionsAreCodePage932Bytes) {
  const ResourceScript script = ParseEmbedded();
  ASSERT_FALSE(script.dialogs.empty());
  const DialogTemplate& main = script.dialogs[0];
  EXPECT_EQ(main.caption, std::string("Orvelle \x83\xBF"));
  ASSERT_GE(main.controls.size(), 2u);
  EXPECT_EQ(main.controls[1].text, std::string("\xC3\xB0\xCC\xDE\xD9\x8D\xEC\x90\xAC"));
  EXPECT_EQ(main.fontFace.substr(0, 4), std::string("\x82\x6C\x82\x72"));
}

TEST(ResourceScriptTest, IdentifierHeaderMatchesTheScript) {
  const ResourceScript script = ParseEmbedded();
  ASSERT_EQ(script.dialogs.size(), 5u);
  const int templates[] = {kIdMainDialog, kIdNormalPage, kIdShadePage, kIdShadowPage, kIdAoPage};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(script.dialogs[i].id, templates[i]);
  const auto idAt = [&](size_t dialog, size_t control) {
    return script.dialogs[dialog].controls[control].id;
  };
  EXPECT_EQ(idAt(0, 0), kIdOutputPath);
  EXPECT_EQ(idAt(0, 1), kIdBuildTable);
  EXPECT_EQ(idAt(0, 2), kIdBake);
  EXPECT_EQ(idAt(0, 4), kIdTextureSize);
  EXPECT_EQ(idAt(0, 5), kIdTab);
  EXPECT_EQ(idAt(0, 6), kIdFilter);
  EXPECT_EQ(idAt(0, 7), kIdProgress);
  EXPECT_EQ(idAt(0, 8), kIdElapsed);
  EXPECT_EQ(idAt(2, 0), kIdLightX);
  EXPECT_EQ(idAt(2, 3), kIdLightY);
  EXPECT_EQ(idAt(2, 5), kIdLightZ);
  EXPECT_EQ(idAt(2, 7), kIdBackFaces);
  EXPECT_EQ(idAt(4, 0), kIdSearchDistance);
  EXPECT_EQ(idAt(4, 3), kIdSpread);
  EXPECT_EQ(idAt(4, 5), kIdSamples);
  EXPECT_EQ(idAt(4, 6), kIdAverage);
  EXPECT_EQ(idAt(0, 3), kIdUnnamed);
}

TEST(ResourceScriptTest, EmbeddedBytesAreTheFileBytes) {
  // tests/ and src/ are siblings in the source tree.
  std::string path = __FILE__;
  path = path.substr(0, path.find_last_of('/')) + "/../src/ui/Tamsink.rc";
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file.good()) << path;
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_EQ(kEmbeddedResourceScriptSize, bytes.size());
  EXPECT_EQ(std::memcmp(kEmbeddedResourceScript, bytes.data(), bytes.size()), 0);
  EXPECT_EQ(kEmbeddedResourceScript[kEmbeddedResourceScriptSize], '\0');
  // The script states its code page on its first line, for windres.
  EXPECT_EQ(bytes.rfind("#pragma code_page(65001)\n", 0), 0u);
}

TEST(ResourceScriptTest, RegistryFindsTemplatesPerInstance) {
  HINSTANCE first = reinterpret_cast<HINSTANCE>(uintptr_t{0x5100});
  HINSTANCE second = reinterpret_cast<HINSTANCE>(uintptr_t{0x5200});
  ASSERT_TRUE(PlatformRegisterResourceScript(first, kEmbeddedResourceScript, kEmbeddedResourceScriptSize));
  const DialogTemplate* shade = FindDialogTemplate(first, MAKEINTRESOURCEA(104));
  ASSERT_NE(shade, nullptr);
  EXPECT_EQ(shade->id, 104);
  EXPECT_EQ(FindDialogTemplate(first, "#104"), shade);
  EXPECT_EQ(FindDialogTemplate(first, MAKEINTRESOURCEA(102)), nullptr);
  EXPECT_EQ(FindDialogTemplate(first, MAKEINTRESOURCEA(0)), nullptr);
  EXPECT_EQ(FindDialogTemplate(first, "#"), nullptr);
  EXPECT_EQ(FindDialogTemplate(first, "#10x"), nullptr);
  EXPECT_EQ(FindDialogTemplate(first, "MAIN"), nullptr);
  EXPECT_EQ(FindDialogTemplate(first, nullptr), nullptr);
  EXPECT_EQ(FindDialogTemplate(second, MAKEINTRESOURCEA(104)), nullptr);
  EXPECT_EQ(FindDialogTemplate(nullptr, MAKEINTRESOURCEA(104)), nullptr);

  // The text is read at registration: the caller's buffer may go away.
  {
    std::string copy(kHeader + "7 DIALOGEX 0, 0, 10, 10\nBEGIN\nEND\n");
    ASSERT_TRUE(PlatformRegisterResourceScript(second, copy.data(), copy.size()));
    copy.assign(copy.size(), 'x');
  }
  EXPECT_NE(FindDialogTemplate(second, MAKEINTRESOURCEA(7)), nullptr);

  // Registering again replaces; a malformed script leaves no templates.
  const std::string broken = kHeader + "7 DIALOGEX 0, 0, 10, 10\nBEGIN\n";
  EXPECT_FALSE(PlatformRegisterResourceScript(second, broken.data(), broken.size()));
  EXPECT_EQ(FindDialogTemplate(second, MAKEINTRESOURCEA(7)), nullptr);

  PlatformUnregisterResourceScript(first);
  EXPECT_EQ(FindDialogTemplate(first, MAKEINTRESOURCEA(104)), nullptr);
  PlatformUnregisterResourceScript(second);
}

TEST(ResourceScriptTest, ReaderFollowsTheResourceCompiler) {
  ResourceScript script;
  ASSERT_TRUE(Parses(kHeader +
                         "// a comment\n"
                         "/* a block\n   comment */ LANGUAGE 9, 1\n"
                         "1 DIALOG 1, 2, 3, 4\n"
                         "CAPTION \"say \"\"hi\"\"\\t\\x41\"\n"
                         "FONT 8, \"Face\"\n"
                         "{\n"
                         "  CONTROL \"a\", -1, \"static\", 0x10L | 2, -5, 0, 7, 8\n"
                         "}\n"
                         "LANGUAGE 0x11, 1\n"
                         "2 DIALOGEX 0, 0, 10, 10, 77\n"
                         "STYLE WS_CHILD\n"
                         "EXSTYLE WS_EX_CLIENTEDGE\n"
                         "BEGIN\n"
                         "  CONTROL \"\", -1, \"Edit\", ES_NUMBER, 1, 1, 1, 1, WS_EX_STATICEDGE, 5\n"
                         "END\n"
                         "3 DIALOGEX 0, 0, 10, 10\n"
                         "LANGUAGE 7, 2\n"
                         "BEGIN\nEND\n",
                     &script));
  ASSERT_EQ(script.dialogs.size(), 3u);
  const DialogTemplate& one = script.dialogs[0];
  // No STYLE: WS_POPUP | WS_BORDER | WS_SYSMENU (0x80880000); CAPTION adds
  // WS_CAPTION (0x00C00000, which holds WS_BORDER); FONT adds DS_SETFONT.
  EXPECT_EQ(one.style, 0x80C80040u);
  EXPECT_EQ(one.caption, "say \"hi\"\tA");
  EXPECT_EQ(one.language, 0x0409);  // 1 << 10 | 9
  EXPECT_EQ(one.fontFace, "Face");
  EXPECT_EQ(one.fontSize, 8);
  EXPECT_FALSE(one.extended);
  ASSERT_EQ(one.controls.size(), 1u);
  // A DIALOG template keeps 16-bit control identifiers.
  EXPECT_EQ(one.controls[0].id, 0xFFFF);
  EXPECT_EQ(one.controls[0].style, 0x12u);
  EXPECT_EQ(one.controls[0].x, -5);
  EXPECT_EQ(one.controls[0].className, "static");

  const DialogTemplate& two = script.dialogs[1];
  EXPECT_TRUE(two.extended);
  EXPECT_EQ(two.style, 0x40000000u);  // no caption, no font: nothing added
  EXPECT_EQ(two.exStyle, 0x200u);
  EXPECT_EQ(two.language, 0x0411);
  ASSERT_EQ(two.controls.size(), 1u);
  EXPECT_EQ(two.controls[0].id, -1);
  EXPECT_EQ(two.controls[0].style, 0x2000u);
  EXPECT_EQ(two.controls[0].exStyle, 0x20000u);

  // A LANGUAGE inside a template applies to that template alone.
  EXPECT_EQ(script.dialogs[2].language, 0x0807);
  EXPECT_EQ(script.dialogs.size(), 3u);
}

TEST(ResourceScriptTest, ByteOrderMarkAndEmptyScript) {
  ResourceScript script;
  EXPECT_TRUE(Parses("\xEF\xBB\xBF" + kHeader + "5 DIALOGEX 0,0,1,1 BEGIN END", &script));
  EXPECT_EQ(script.dialogs.size(), 1u);
  EXPECT_TRUE(Parses("", &script));
  EXPECT_TRUE(script.dialogs.empty());
  EXPECT_FALSE(ParseResourceScript(nullptr, 10, &script));
  EXPECT_FALSE(ParseResourceScript("x", 1, nullptr));
}

TEST(ResourceScriptTest, MalformedScriptsAreRejectedWhole) {
  const std::string ok = "5 DIALOGEX 0, 0, 1, 1\nBEGIN\nEND\n";
  struct Case {
    const char* why;
    std::string text;
  };
  const Case cases[] = {
      {"no code page", ok},
      {"another code page", "#pragma code_page(932)\n" + ok},
      {"a definition", kHeader + "#define X 1\n" + ok},
      {"a conditional", kHeader + "#ifdef X\n" + ok + "#endif\n"},
      {"a directive inside a line", kHeader + "5 # DIALOGEX 0, 0, 1, 1\nBEGIN\nEND\n"},
      {"unterminated string", kHeader + "5 DIALOGEX 0,0,1,1\nCAPTION \"abc\nBEGIN\nEND\n"},
      {"string at the end", kHeader + "5 DIALOGEX 0,0,1,1\nCAPTION \"abc"},
      {"unknown escape", kHeader + "5 DIALOGEX 0,0,1,1\nCAPTION \"\\q\"\nBEGIN\nEND\n"},
      {"NUL escape", kHeader + "5 DIALOGEX 0,0,1,1\nCAPTION \"\\x00\"\nBEGIN\nEND\n"},
      {"escape at the end", kHeader + "5 DIALOGEX 0,0,1,1\nCAPTION \"\\"},
      {"unterminated comment", kHeader + ok + "/* no end"},
      {"missing END", kHeader + "5 DIALOGEX 0, 0, 1, 1\nBEGIN\n"},
      {"missing BEGIN", kHeader + "5 DIALOGEX 0, 0, 1, 1\n"},
      {"unknown style", kHeader + "5 DIALOGEX 0,0,1,1\nSTYLE WS_FANCY\nBEGIN\nEND\n"},
      {"lower-case style", kHeader + "5 DIALOGEX 0,0,1,1\nSTYLE ws_child\nBEGIN\nEND\n"},
      {"dangling bar", kHeader + "5 DIALOGEX 0,0,1,1\nSTYLE WS_CHILD |\nBEGIN\nEND\n"},
      {"other resource", kHeader + "STRINGTABLE\nBEGIN\nEND\n"},
      {"named template", kHeader + "MAIN DIALOGEX 0,0,1,1\nBEGIN\nEND\n"},
      {"template id 0", kHeader + "0 DIALOGEX 0,0,1,1\nBEGIN\nEND\n"},
      {"template id too big", kHeader + "65536 DIALOGEX 0,0,1,1\nBEGIN\nEND\n"},
      {"coordinate too big", kHeader + "5 DIALOGEX 0,0,40000,1\nBEGIN\nEND\n"},
      {"number too big", kHeader + "5 DIALOGEX 0,0,1,1\nSTYLE 0x100000000\nBEGIN\nEND\n"},
      {"hex without digits", kHeader + "5 DIALOGEX 0x,0,1,1\nBEGIN\nEND\n"},
      {"number glued to a word", kHeader + "5 DIALOGEX 12abc,0,1,1\nBEGIN\nEND\n"},
      {"missing comma", kHeader + "5 DIALOGEX 0 0,1,1\nBEGIN\nEND\n"},
      {"trailing comma", kHeader + "5 DIALOGEX 0,0,1,1,\nBEGIN\nEND\n"},
      {"help id on DIALOG", kHeader + "5 DIALOG 0,0,1,1,3\nBEGIN\nEND\n"},
      {"font extras on DIALOG", kHeader + "5 DIALOG 0,0,1,1\nFONT 9, \"A\", 400\nBEGIN\nEND\n"},
      {"control without class",
       kHeader + "5 DIALOGEX 0,0,1,1\nBEGIN\nCONTROL \"a\", 1, 0, 1,1,1,1\nEND\n"},
      {"control with empty class",
       kHeader + "5 DIALOGEX 0,0,1,1\nBEGIN\nCONTROL \"a\", 1, \"\", 0, 1,1,1,1\nEND\n"},
      {"control short of a size",
       kHeader + "5 DIALOGEX 0,0,1,1\nBEGIN\nCONTROL \"a\", 1, \"EDIT\", 0, 1,1,1\nEND\n"},
      {"shorthand control", kHeader + "5 DIALOGEX 0,0,1,1\nBEGIN\nLTEXT \"a\", 1, 1,1,1,1\nEND\n"},
      {"not UTF-8", kHeader + "5 DIALOGEX 0,0,1,1\nCAPTION \"\xFF\xFE\"\nBEGIN\nEND\n"},
      {"not in code page 932",
       kHeader + "5 DIALOGEX 0,0,1,1\nCAPTION \"\xF0\x9F\x98\x80\"\nBEGIN\nEND\n"},
      {"stray character", kHeader + ok + "@"},
      {"a good template, then garbage", kHeader + ok + "6 DIALOGEX"},
  };
  for (const Case& c : cases) {
    ResourceScript script;
    EXPECT_FALSE(Parses(c.text, &script)) << c.why;
    EXPECT_TRUE(script.dialogs.empty()) << c.why;
  }
  // The same template with its code page parses, so the cases above fail for
  // their own reasons.
  EXPECT_TRUE(Parses(kHeader + ok));
}

// Every prefix of the real script, and random damage to it, either parses or
// is refused; nothing crashes or reads outside the bytes (the copies are
// exactly sized heap blocks, which a sanitizer build checks).
TEST(ResourceScriptTest, NoTextCrashesTheReader) {
  const std::string full(kEmbeddedResourceScript, kEmbeddedResourceScriptSize);
  size_t accepted = 0;
  for (size_t length = 0; length < full.size(); ++length) {
    ResourceScript script;
    if (Parses(full.substr(0, length), &script)) {
      ++accepted;
      EXPECT_LE(script.dialogs.size(), 5u);
    }
  }
  // Prefixes ending between statements parse (the empty one, the ones after
  // each END); far from every prefix does.
  EXPECT_GT(accepted, 0u);
  EXPECT_LT(accepted, full.size() / 2);

  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    std::string damaged = full;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !damaged.empty(); ++e) {
      const size_t at = random() % damaged.size();
      switch (random() % 3) {
        case 0: damaged[at] = static_cast<char>(random() % 256); break;
        case 1: damaged.erase(at, 1 + random() % 8); break;
        default: damaged.insert(at, 1, "\"\\,|{}#/*-0x"[random() % 12]); break;
      }
    }
    ResourceScript script;
    Parses(damaged, &script);
    EXPECT_LE(script.dialogs.size(), 5u);
  }
}

}  // namespace
