// Reads the resource directory of a PE file (Tamsink.dll) and checks the
// dialog templates in it against the templates the plug-in must carry: the
// resource ids, their one language (Japanese, 0x411), and in every template
// the caption, font, styles, and each control's id, class, caption (UTF-16
// bytes as stored), position and style. Built for the machine doing the
// build, so it checks the file itself, with no Windows loader in between.
//
//   pe_resources FILE.dll     prints one line per problem; exit 0 when none
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

// Window and control styles, as the Windows headers define them.
constexpr uint32_t WS_POPUP = 0x80000000u, WS_CHILD = 0x40000000u, WS_VISIBLE = 0x10000000u,
                   WS_CAPTION = 0x00C00000u, WS_BORDER = 0x00800000u, WS_SYSMENU = 0x00080000u,
                   WS_GROUP = 0x00020000u, WS_TABSTOP = 0x00010000u, DS_MODALFRAME = 0x80u,
                   DS_SETFONT = 0x40u, ES_AUTOHSCROLL = 0x80u, BS_PUSHBUTTON = 0, BS_AUTOCHECKBOX = 3,
                   BS_GROUPBOX = 7, SS_LEFT = 0;
constexpr uint32_t kRtDialog = 5;
constexpr uint32_t kJapanese = 0x411;

struct ControlSpec {
  int32_t id;
  const char16_t* className;
  const char16_t* text;
  int16_t x, y, cx, cy;
  uint32_t style;
};

struct DialogSpec {
  uint32_t id;
  uint32_t style;
  const char16_t* caption;
  int16_t cx, cy;
  std::vector<ControlSpec> controls;
};

constexpr uint32_t kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr uint32_t kPush = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr uint32_t kCheck = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr uint32_t kLabel = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;

const std::vector<ControlSpec> kLight = {
    {1002, u"EDIT", u"", 99, 17, 28, 12, kEdit},
    {-1, u"BUTTON", u"光源座標", 81, 7, 52, 55, WS_CHILD | WS_VISIBLE | BS_GROUPBOX},
    {-1, u"STATIC", u"X", 88, 19, 8, 9, kLabel},
    {1008, u"EDIT", u"", 99, 31, 28, 12, kEdit},
    {-1, u"STATIC", u"Y", 88, 33, 8, 9, kLabel},
    {1009, u"EDIT", u"", 99, 45, 28, 12, kEdit},
    {-1, u"STATIC", u"Z", 88, 47, 8, 9, kLabel},
};

std::vector<DialogSpec> ExpectedDialogs() {
  std::vector<ControlSpec> shade = kLight;
  shade.push_back({1017, u"BUTTON", u"背面もｼｪｰﾃﾞｨﾝｸﾞ", 8, 10, 65, 10, kCheck});
  return {
      {101, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, u"Orvelle α", 162, 180,
       {
           {1000, u"EDIT", u"", 7, 116, 91, 12, kEdit},
           {1005, u"BUTTON", u"ﾃｰﾌﾞﾙ作成", 115, 7, 40, 13, kPush},
           {1006, u"BUTTON", u"BMPを作成", 7, 142, 148, 16, kPush},
           {-1, u"STATIC", u"ﾃｸｽﾁｬｻｲｽﾞ", 7, 10, 35, 8, kLabel},
           {1013, u"EDIT", u"", 45, 7, 30, 13, kEdit},
           {1016, u"SysTabControl32", u"Tab1", 7, 24, 148, 85, WS_CHILD | WS_VISIBLE},
           {1018, u"BUTTON", u"フィルタをかける", 7, 129, 63, 10, kCheck},
           {1019, u"msctls_progress32", u"Progress1", 7, 160, 122, 13, WS_CHILD | WS_VISIBLE | WS_BORDER},
           {1021, u"STATIC", u"00:00", 132, 162, 23, 12, kLabel},
       }},
      {103, WS_CHILD, u"", 140, 69, {}},
      {104, WS_CHILD, u"", 140, 69, shade},
      {105, WS_CHILD, u"", 140, 69, kLight},
      {106, WS_CHILD, u"", 140, 69,
       {
           {1022, u"EDIT", u"", 55, 27, 27, 12, kEdit},
           {-1, u"STATIC", u"探査距離", 15, 29, 32, 8, kLabel},
           {-1, u"STATIC", u"拡散角度", 15, 45, 32, 8, kLabel},
           {1024, u"EDIT", u"", 55, 43, 27, 12, kEdit},
           {-1, u"STATIC", u"サンプリング数", 7, 9, 44, 8, kLabel},
           {1025, u"EDIT", u"", 54, 7, 27, 12, kEdit},
           {1023, u"BUTTON", u"平均距離算出", 86, 28, 47, 12, kPush},
       }},
  };
}

const char16_t kFont[] = u"ＭＳ Ｐゴシック";

std::vector<std::string> g_problems;
void Problem(const std::string& text) { g_problems.push_back(text); }

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
      out += code;
    }
  }
  return out;
}

// Bounds-checked little-endian reads from the whole file.
class Image {
 public:
  explicit Image(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Has(uint64_t offset, uint64_t size) const { return offset <= bytes_.size() && size <= bytes_.size() - offset; }
  uint32_t U16(uint64_t offset) const { return Has(offset, 2) ? Byte(offset) | Byte(offset + 1) << 8 : 0; }
  uint32_t U32(uint64_t offset) const { return Has(offset, 4) ? U16(offset) | U16(offset + 2) << 16 : 0; }

 private:
  uint32_t Byte(uint64_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
  std::string bytes_;
};

struct Section {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

class PeFile {
 public:
  explicit PeFile(const Image& image) : image_(image) {
    const uint32_t pe = image_.U32(0x3C);
    if (image_.U32(pe) != 0x4550) {  // "PE\0\0"
      Problem("not a PE file");
      return;
    }
    const uint32_t sections = image_.U16(pe + 6);
    const uint32_t optionalSize = image_.U16(pe + 20);
    const uint64_t optional = pe + 24;
    if (image_.U16(optional) != 0x20B) {
      Problem("not a PE32+ (64-bit) image");
      return;
    }
    // Data directory 2 (resources) of the PE32+ optional header.
    resourceRva_ = image_.U32(optional + 112 + 2 * 8);
    for (uint32_t i = 0; i < sections; ++i) {
      const uint64_t s = optional + optionalSize + 40ull * i;
      sections_.push_back({image_.U32(s + 12), image_.U32(s + 8), image_.U32(s + 20), image_.U32(s + 16)});
    }
    valid_ = true;
  }
  bool valid() const { return valid_; }
  uint32_t resourceRva() const { return resourceRva_; }

  // File offset of a relative virtual address; 0 when no section holds it.
  uint64_t Offset(uint32_t rva) const {
    for (const Section& s : sections_)
      if (rva >= s.virtualAddress && rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize))
        return static_cast<uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
    return 0;
  }
  const Image& image() const { return image_; }

 private:
  const Image& image_;
  std::vector<Section> sections_;
  uint32_t resourceRva_ = 0;
  bool valid_ = false;
};

struct Entry {
  uint32_t id;        // integer id; 0xFFFFFFFF for a named entry
  uint32_t offset;    // from the start of the resource section
  bool directory;
};

std::vector<Entry> Entries(const PeFile& pe, uint32_t directoryOffset) {
  const Image& image = pe.image();
  const uint64_t base = pe.Offset(pe.resourceRva());
  const uint64_t dir = base + directoryOffset;
  const uint32_t named = image.U16(dir + 12), ids = image.U16(dir + 14);
  std::vector<Entry> entries;
  for (uint32_t i = 0; i < named + ids && i < 4096; ++i) {
    const uint32_t name = image.U32(dir + 16 + 8ull * i), target = image.U32(dir + 20 + 8ull * i);
    entries.push_back({(name & 0x80000000u) ? 0xFFFFFFFFu : name, target & 0x7FFFFFFFu, (target & 0x80000000u) != 0});
  }
  return entries;
}

// A template's bytes, read from the data entry at `offset`.
class Template {
 public:
  Template(const PeFile& pe, uint32_t dataEntry) : image_(pe.image()) {
    const uint64_t entry = pe.Offset(pe.resourceRva()) + dataEntry;
    start_ = pe.Offset(image_.U32(entry));
    size_ = image_.U32(entry + 4);
    at_ = start_;
  }
  uint32_t U16() { return Read(2); }
  uint32_t U32() { return Read(4); }
  int16_t S16() { return static_cast<int16_t>(Read(2)); }
  uint32_t U8() { return Read(1); }
  // A string, or an ordinal: 0xFFFF, then the number, kept as those two.
  std::u16string SzOrOrd() {
    if (Peek16() == 0xFFFF) {
      Read(2);
      return std::u16string{u'\xFFFF', static_cast<char16_t>(Read(2))};
    }
    return Sz();
  }
  std::u16string Sz() {
    std::u16string text;
    while (Inside(2)) {
      const uint32_t c = Read(2);
      if (c == 0) break;
      text += static_cast<char16_t>(c);
    }
    return text;
  }
  void AlignDword() { at_ = start_ + (at_ - start_ + 3) / 4 * 4; }
  void Skip(uint32_t bytes) { at_ += bytes; }
  bool Inside(uint32_t bytes) const { return at_ + bytes <= start_ + size_; }

 private:
  uint32_t Peek16() const { return image_.U16(at_); }
  uint32_t Read(uint32_t bytes) {
    if (!Inside(bytes)) {
      overrun_ = true;
      return 0;
    }
    const uint32_t value = bytes == 1 ? image_.U16(at_) & 0xFF : bytes == 2 ? image_.U16(at_) : image_.U32(at_);
    at_ += bytes;
    return value;
  }
  const Image& image_;
  uint64_t start_ = 0, at_ = 0;
  uint32_t size_ = 0;
  bool overrun_ = false;
};

// A predefined control class is stored as an ordinal: 0x80 button, 0x81
// edit, 0x82 static.
bool SameClass(const std::u16string& stored, const char16_t* expected) {
  std::u16string name = stored;
  if (name.size() == 2 && name[0] == u'\xFFFF') {
    switch (name[1]) {
      case 0x80: name = u"BUTTON"; break;
      case 0x81: name = u"EDIT"; break;
      case 0x82: name = u"STATIC"; break;
      default: break;
    }
  }
  const std::u16string want = expected;
  if (name.size() != want.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
    if (lower(name[i]) != lower(want[i])) return false;
  }
  return true;
}

void CheckTemplate(const PeFile& pe, uint32_t dataEntry, const DialogSpec& dialog) {
  const std::string where = "dialog " + std::to_string(dialog.id);
  Template t(pe, dataEntry);
  if (t.U16() != 1 || t.U16() != 0xFFFF) {
    Problem(where + ": not a DIALOGEX template");
    return;
  }
  t.U32();  // help id
  t.U32();  // extended style
  const uint32_t style = t.U32();
  const uint32_t count = t.U16();
  const int16_t x = t.S16(), y = t.S16(), cx = t.S16(), cy = t.S16();
  if (style != (dialog.style | DS_SETFONT)) Problem(where + ": style " + std::to_string(style));
  if (x != 0 || y != 0 || cx != dialog.cx || cy != dialog.cy)
    Problem(where + ": placed at " + std::to_string(x) + "," + std::to_string(y) + " size " + std::to_string(cx) +
            " x " + std::to_string(cy));
  const std::u16string menu = t.SzOrOrd(), windowClass = t.SzOrOrd(), caption = t.Sz();
  if (!menu.empty() || !windowClass.empty()) Problem(where + ": has a menu or a class of its own");
  if (caption != dialog.caption) Problem(where + ": caption \"" + Narrow(caption) + "\"");
  const uint32_t points = t.U16();
  t.U16();  // weight
  t.U8();   // italic
  t.U8();   // character set
  const std::u16string font = t.Sz();
  if (points != 9 || font != kFont) Problem(where + ": font " + Narrow(font) + " at " + std::to_string(points));
  if (count != dialog.controls.size()) {
    Problem(where + ": " + std::to_string(count) + " controls, not " + std::to_string(dialog.controls.size()));
    return;
  }
  for (const ControlSpec& c : dialog.controls) {
    t.AlignDword();
    t.U32();  // help id
    t.U32();  // extended style
    const uint32_t itemStyle = t.U32();
    const int16_t ix = t.S16(), iy = t.S16(), icx = t.S16(), icy = t.S16();
    const int32_t id = static_cast<int32_t>(t.U32());
    const std::u16string className = t.SzOrOrd(), text = t.SzOrOrd();
    const uint32_t extra = t.U16();
    t.Skip(extra);
    const std::string item = where + " control " + std::to_string(c.id);
    if (id != c.id) Problem(item + ": id " + std::to_string(id));
    if (!SameClass(className, c.className)) Problem(item + ": class " + Narrow(className));
    if (text != c.text) Problem(item + ": caption \"" + Narrow(text) + "\"");
    if (ix != c.x || iy != c.y || icx != c.cx || icy != c.cy)
      Problem(item + ": at " + std::to_string(ix) + "," + std::to_string(iy) + " size " + std::to_string(icx) +
              " x " + std::to_string(icy));
    if (itemStyle != c.style) Problem(item + ": style " + std::to_string(itemStyle));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pe_resources FILE.dll\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pe_resources: cannot read %s\n", argv[1]);
    return 2;
  }
  const Image image(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  const PeFile pe(image);
  if (pe.valid() && (pe.resourceRva() == 0 || pe.Offset(pe.resourceRva()) == 0)) Problem("no resource directory");

  if (g_problems.empty()) {
    std::map<uint32_t, const DialogSpec*> wanted;
    const std::vector<DialogSpec> dialogs = ExpectedDialogs();
    for (const DialogSpec& d : dialogs) wanted[d.id] = &d;
    bool sawDialogs = false;
    for (const Entry& type : Entries(pe, 0)) {
      if (type.id != kRtDialog) {
        Problem("a resource of type " + std::to_string(type.id) + " besides the dialogs");
        continue;
      }
      sawDialogs = true;
      std::vector<uint32_t> ids;
      for (const Entry& name : Entries(pe, type.offset)) {
        ids.push_back(name.id);
        const auto found = wanted.find(name.id);
        if (found == wanted.end()) {
          Problem("an unexpected dialog " + std::to_string(name.id));
          continue;
        }
        const std::vector<Entry> languages = Entries(pe, name.offset);
        if (languages.size() != 1 || languages[0].id != kJapanese || languages[0].directory) {
          Problem("dialog " + std::to_string(name.id) + ": not exactly one template, in language 0x411");
          continue;
        }
        CheckTemplate(pe, languages[0].offset, *found->second);
        std::printf("dialog %u: language 0x%X, checked\n", name.id, languages[0].id);
      }
      if (ids != std::vector<uint32_t>{101, 103, 104, 105, 106}) Problem("the dialog ids are not 101, 103 to 106");
    }
    if (!sawDialogs) Problem("no dialog resources");
  }
  for (const std::string& p : g_problems) std::printf("problem: %s\n", p.c_str());
  return g_problems.empty() ? 0 : 1;
}
