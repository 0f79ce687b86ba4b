// The resource-script reader and the per-instance registry of dialog
// templates. The reader is a hand-written lexer and recursive-descent parser
// for the subset described in resource_script.h; every access goes through
// the lexer's bounds, so any byte sequence is safe to hand it.
#include "resource_script.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <strings.h>

#include "platform_hooks.h"

namespace {

// The style names a script may use, with the values of the Windows headers.
struct NamedValue {
  const char* name;
  DWORD value;
};
constexpr NamedValue kStyleNames[] = {
    {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000},     {"WS_CHILD", 0x40000000},
    {"WS_MINIMIZE", 0x20000000},   {"WS_VISIBLE", 0x10000000},   {"WS_DISABLED", 0x08000000},
    {"WS_CLIPSIBLINGS", 0x04000000}, {"WS_CLIPCHILDREN", 0x02000000},
    {"WS_MAXIMIZE", 0x01000000},   {"WS_CAPTION", 0x00C00000},   {"WS_BORDER", 0x00800000},
    {"WS_DLGFRAME", 0x00400000},   {"WS_VSCROLL", 0x00200000},   {"WS_HSCROLL", 0x00100000},
    {"WS_SYSMENU", 0x00080000},    {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000},
    {"WS_TABSTOP", 0x00010000},    {"WS_MINIMIZEBOX", 0x00020000},
    {"WS_MAXIMIZEBOX", 0x00010000},
    {"WS_EX_DLGMODALFRAME", 0x00000001}, {"WS_EX_NOPARENTNOTIFY", 0x00000004},
    {"WS_EX_TOPMOST", 0x00000008}, {"WS_EX_TRANSPARENT", 0x00000020},
    {"WS_EX_WINDOWEDGE", 0x00000100}, {"WS_EX_CLIENTEDGE", 0x00000200},
    {"WS_EX_CONTROLPARENT", 0x00010000}, {"WS_EX_STATICEDGE", 0x00020000},
    {"DS_ABSALIGN", 0x0001},       {"DS_SYSMODAL", 0x0002},      {"DS_3DLOOK", 0x0004},
    {"DS_FIXEDSYS", 0x0008},       {"DS_NOFAILCREATE", 0x0010},  {"DS_LOCALEDIT", 0x0020},
    {"DS_SETFONT", 0x0040},        {"DS_MODALFRAME", 0x0080},    {"DS_NOIDLEMSG", 0x0100},
    {"DS_SETFOREGROUND", 0x0200},  {"DS_CONTROL", 0x0400},       {"DS_CENTER", 0x0800},
    {"DS_CENTERMOUSE", 0x1000},    {"DS_CONTEXTHELP", 0x2000},
    {"ES_LEFT", 0x0000},           {"ES_CENTER", 0x0001},        {"ES_RIGHT", 0x0002},
    {"ES_MULTILINE", 0x0004},      {"ES_UPPERCASE", 0x0008},     {"ES_LOWERCASE", 0x0010},
    {"ES_PASSWORD", 0x0020},       {"ES_AUTOVSCROLL", 0x0040},   {"ES_AUTOHSCROLL", 0x0080},
    {"ES_NOHIDESEL", 0x0100},      {"ES_OEMCONVERT", 0x0400},    {"ES_READONLY", 0x0800},
    {"ES_WANTRETURN", 0x1000},     {"ES_NUMBER", 0x2000},
    {"BS_PUSHBUTTON", 0x0000},     {"BS_DEFPUSHBUTTON", 0x0001}, {"BS_CHECKBOX", 0x0002},
    {"BS_AUTOCHECKBOX", 0x0003},   {"BS_RADIOBUTTON", 0x0004},   {"BS_3STATE", 0x0005},
    {"BS_AUTO3STATE", 0x0006},     {"BS_GROUPBOX", 0x0007},      {"BS_AUTORADIOBUTTON", 0x0009},
    {"BS_LEFTTEXT", 0x0020},       {"BS_NOTIFY", 0x4000},        {"BS_FLAT", 0x8000},
    {"SS_LEFT", 0x0000},           {"SS_CENTER", 0x0001},        {"SS_RIGHT", 0x0002},
    {"SS_SIMPLE", 0x000B},         {"SS_LEFTNOWORDWRAP", 0x000C}, {"SS_NOPREFIX", 0x0080},
    {"SS_NOTIFY", 0x0100},         {"SS_SUNKEN", 0x1000},
    {"PBS_SMOOTH", 0x01},          {"PBS_VERTICAL", 0x04},
};

constexpr DWORD kDefaultDialogStyle = 0x80000000 | 0x00800000 | 0x00080000;  // popup, border, sysmenu
constexpr DWORD kCaptionStyle = 0x00C00000;                                  // WS_CAPTION
constexpr DWORD kSetFontStyle = 0x0040;                                      // DS_SETFONT

enum class TokenKind { kEnd, kNumber, kWord, kString, kPunct, kError };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  int64_t number = 0;       // kNumber, always >= 0 (a minus sign is its own token)
  std::string text;         // kWord: the word; kString: the decoded UTF-8 bytes
  char punct = 0;           // kPunct
};

// Splits the text into tokens, handling comments and the two preprocessor
// lines the subset knows. Reads only within [begin, end).
class Lexer {
 public:
  Lexer(const char* begin, const char* end) : p_(begin), end_(end) {
    // A UTF-8 byte order mark is not part of the text.
    if (end_ - p_ >= 3 && static_cast<unsigned char>(p_[0]) == 0xEF &&
        static_cast<unsigned char>(p_[1]) == 0xBB && static_cast<unsigned char>(p_[2]) == 0xBF)
      p_ += 3;
  }

  bool utf8() const { return utf8_; }

  Token Next() {
    Token token;
    if (!SkipSpaceAndDirectives()) {
      token.kind = TokenKind::kError;
      return token;
    }
    if (p_ >= end_) return token;
    const char c = *p_;
    if (IsDigit(c)) return LexNumber();
    if (IsWordStart(c)) {
      token.kind = TokenKind::kWord;
      while (p_ < end_ && IsWordChar(*p_)) token.text += *p_++;
      return token;
    }
    if (c == '"') return LexString();
    if (std::strchr(",|{}-", c) != nullptr) {
      token.kind = TokenKind::kPunct;
      token.punct = c;
      ++p_;
      atLineStart_ = false;
      return token;
    }
    token.kind = TokenKind::kError;
    return token;
  }

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsWordStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  }
  static bool IsWordChar(char c) { return IsWordStart(c) || IsDigit(c); }

  // Skips white space, comments and preprocessor lines; false on a malformed
  // comment or directive.
  bool SkipSpaceAndDirectives() {
    while (p_ < end_) {
      const char c = *p_;
      if (c == '\n') {
        atLineStart_ = true;
        ++p_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++p_;
      } else if (c == '/' && end_ - p_ >= 2 && p_[1] == '/') {
        while (p_ < end_ && *p_ != '\n') ++p_;
      } else if (c == '/' && end_ - p_ >= 2 && p_[1] == '*') {
        p_ += 2;
        bool closed = false;
        while (end_ - p_ >= 2) {
          if (p_[0] == '*' && p_[1] == '/') {
            p_ += 2;
            closed = true;
            break;
          }
          if (*p_ == '\n') atLineStart_ = true;
          ++p_;
        }
        if (!closed) return false;
      } else if (c == '#' && atLineStart_) {
        if (!Directive()) return false;
      } else {
        atLineStart_ = false;
        return true;
      }
    }
    return true;
  }

  // One preprocessor line, from '#' to the end of the line.
  bool Directive() {
    const char* lineEnd = p_;
    while (lineEnd < end_ && *lineEnd != '\n') ++lineEnd;
    std::string line(p_ + 1, lineEnd);
    p_ = lineEnd;
    // Normalise: no spaces at all, so "# pragma code_page( 65001 )" reads too.
    std::string compact;
    for (char ch : line)
      if (ch != ' ' && ch != '\t' && ch != '\r') compact += ch;
    if (compact.rfind("include", 0) == 0) return true;
    if (compact == "pragmacode_page(65001)") {
      utf8_ = true;
      return true;
    }
    return false;  // another code page, a conditional, a definition: outside the subset
  }

  Token LexNumber() {
    Token token;
    token.kind = TokenKind::kNumber;
    int base = 10;
    if (end_ - p_ >= 2 && p_[0] == '0' && (p_[1] == 'x' || p_[1] == 'X')) {
      base = 16;
      p_ += 2;
    }
    uint64_t value = 0;
    int digits = 0;
    while (p_ < end_) {
      const char c = *p_;
      int d;
      if (IsDigit(c)) d = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else break;
      value = value * base + d;
      if (value > 0xFFFFFFFFull) {
        token.kind = TokenKind::kError;
        return token;
      }
      ++digits;
      ++p_;
    }
    // The resource compiler's long and unsigned suffixes.
    while (p_ < end_ && (*p_ == 'L' || *p_ == 'l' || *p_ == 'U' || *p_ == 'u')) ++p_;
    if (digits == 0 || (p_ < end_ && IsWordChar(*p_))) {
      token.kind = TokenKind::kError;
      return token;
    }
    token.number = static_cast<int64_t>(value);
    return token;
  }

  // A quoted string: "" stands for one quote; backslash escapes as in C for
  // the common letters and \x hex digits.
  Token LexString() {
    Token token;
    token.kind = TokenKind::kString;
    ++p_;  // opening quote
    while (true) {
      if (p_ >= end_ || *p_ == '\n') {
        token.kind = TokenKind::kError;
        return token;
      }
      const char c = *p_++;
      if (c == '"') {
        if (p_ < end_ && *p_ == '"') {
          token.text += '"';
          ++p_;
          continue;
        }
        return token;
      }
      if (c != '\\') {
        token.text += c;
        continue;
      }
      if (p_ >= end_) {
        token.kind = TokenKind::kError;
        return token;
      }
      const char e = *p_++;
      switch (e) {
        case 'n': token.text += '\n'; break;
        case 't': token.text += '\t'; break;
        case 'r': token.text += '\r'; break;
        case 'a': token.text += '\a'; break;
        case '\\': token.text += '\\'; break;
        case '"': token.text += '"'; break;
        case 'x': {
          int value = 0, digits = 0;
          while (p_ < end_ && digits < 2) {
            const char h = *p_;
            int d;
            if (IsDigit(h)) d = h - '0';
            else if (h >= 'a' && h <= 'f') d = h - 'a' + 10;
            else if (h >= 'A' && h <= 'F') d = h - 'A' + 10;
            else break;
            value = value * 16 + d;
            ++digits;
            ++p_;
          }
          // A NUL would end the text early; the subset has no use for it.
          if (digits == 0 || value == 0) {
            token.kind = TokenKind::kError;
            return token;
          }
          token.text += static_cast<char>(value);
          break;
        }
        default:
          token.kind = TokenKind::kError;
          return token;
      }
    }
  }

  const char* p_;
  const char* end_;
  bool atLineStart_ = true;
  bool utf8_ = false;
};

// Converts UTF-8 bytes to code page 932 bytes; false when a character has no
// code page 932 form or the bytes are not UTF-8.
bool Utf8ToCp932(const std::string& utf8, std::string* cp932) {
  cp932->clear();
  if (utf8.empty()) return true;
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in = utf8;
  std::string out(in.size() * 2 + 16, '\0');
  char* inPtr = &in[0];
  size_t inLeft = in.size();
  char* outPtr = &out[0];
  size_t outLeft = out.size();
  const size_t converted = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  const bool ok = converted != static_cast<size_t>(-1) && inLeft == 0;
  iconv_close(cd);
  if (!ok) return false;
  out.resize(out.size() - outLeft);
  // A NUL inside a caption would cut it short where the text is read.
  if (out.find('\0') != std::string::npos) return false;
  *cp932 = out;
  return true;
}

class Parser {
 public:
  Parser(const char* text, size_t length) : lexer_(text, text + length) { Advance(); }

  bool Parse(ResourceScript* script) {
    while (token_.kind != TokenKind::kEnd) {
      if (token_.kind == TokenKind::kError) return false;
      // Everything a statement holds is written in code page 65001.
      if (!lexer_.utf8()) return false;
      if (IsWord("LANGUAGE")) {
        Advance();
        if (!Language(&language_)) return false;
      } else if (token_.kind == TokenKind::kNumber) {
        DialogTemplate dialog;
        if (!Dialog(&dialog)) return false;
        script->dialogs.push_back(std::move(dialog));
      } else {
        return false;
      }
    }
    return true;
  }

 private:
  void Advance() { token_ = lexer_.Next(); }

  bool IsWord(const char* word) const {
    return token_.kind == TokenKind::kWord && strcasecmp(token_.text.c_str(), word) == 0;
  }
  bool IsPunct(char c) const { return token_.kind == TokenKind::kPunct && token_.punct == c; }

  bool Expect(char c) {
    if (!IsPunct(c)) return false;
    Advance();
    return true;
  }

  // An optionally negative number within [low, high].
  bool Integer(int64_t low, int64_t high, int64_t* value) {
    bool negative = false;
    if (IsPunct('-')) {
      negative = true;
      Advance();
    }
    if (token_.kind != TokenKind::kNumber) return false;
    int64_t v = token_.number;
    if (negative) v = -v;
    Advance();
    if (v < low || v > high) return false;
    *value = v;
    return true;
  }

  bool Int(int64_t low, int64_t high, int* value) {
    int64_t v = 0;
    if (!Integer(low, high, &v)) return false;
    *value = static_cast<int>(v);
    return true;
  }

  // A dialog-unit coordinate: the binary templates keep 16-bit signed values.
  bool Coordinate(int* value) { return Int(-32768, 32767, value); }

  // flags := term { '|' term }; term := number | known name. A negative
  // number stands for its 32-bit pattern, as in the resource compiler.
  bool Flags(DWORD* value) {
    DWORD result = 0;
    while (true) {
      if (token_.kind == TokenKind::kWord) {
        bool known = false;
        for (const NamedValue& named : kStyleNames) {
          if (token_.text == named.name) {
            result |= named.value;
            known = true;
            break;
          }
        }
        if (!known) return false;
        Advance();
      } else {
        int64_t number = 0;
        if (!Integer(-2147483648LL, 0xFFFFFFFFLL, &number)) return false;
        result |= static_cast<DWORD>(static_cast<uint32_t>(number & 0xFFFFFFFFLL));
      }
      if (!IsPunct('|')) break;
      Advance();
    }
    *value = result;
    return true;
  }

  bool String(std::string* cp932) {
    if (token_.kind != TokenKind::kString) return false;
    const bool ok = Utf8ToCp932(token_.text, cp932);
    Advance();
    return ok;
  }

  bool Language(WORD* language) {
    int primary = 0, sub = 0;
    if (!Int(0, 0x3FF, &primary) || !Expect(',') || !Int(0, 0x3F, &sub)) return false;
    *language = static_cast<WORD>((sub << 10) | primary);
    return true;
  }

  bool Dialog(DialogTemplate* dialog) {
    if (!Int(1, 0xFFFF, &dialog->id)) return false;
    if (IsWord("DIALOGEX")) dialog->extended = true;
    else if (!IsWord("DIALOG")) return false;
    Advance();
    if (!Coordinate(&dialog->x) || !Expect(',') || !Coordinate(&dialog->y) || !Expect(',') ||
        !Coordinate(&dialog->cx) || !Expect(',') || !Coordinate(&dialog->cy))
      return false;
    if (IsPunct(',')) {  // help identifier of a DIALOGEX
      if (!dialog->extended) return false;
      Advance();
      int64_t help = 0;
      if (!Integer(-2147483648LL, 0xFFFFFFFFLL, &help)) return false;
    }
    dialog->language = language_;
    bool hasStyle = false, hasCaption = false;
    while (!IsWord("BEGIN") && !IsPunct('{')) {
      if (IsWord("STYLE")) {
        Advance();
        if (!Flags(&dialog->style)) return false;
        hasStyle = true;
      } else if (IsWord("EXSTYLE")) {
        Advance();
        if (!Flags(&dialog->exStyle)) return false;
      } else if (IsWord("CAPTION")) {
        Advance();
        if (!String(&dialog->caption)) return false;
        hasCaption = true;
      } else if (IsWord("FONT")) {
        Advance();
        if (!Font(dialog)) return false;
      } else if (IsWord("LANGUAGE")) {
        Advance();
        if (!Language(&dialog->language)) return false;
      } else {
        return false;
      }
    }
    Advance();  // BEGIN
    if (!hasStyle) dialog->style = kDefaultDialogStyle;
    if (hasCaption) dialog->style |= kCaptionStyle;
    if (dialog->hasFont) dialog->style |= kSetFontStyle;
    while (!IsWord("END") && !IsPunct('}')) {
      if (!IsWord("CONTROL")) return false;
      Advance();
      DialogControlTemplate control;
      if (!Control(*dialog, &control)) return false;
      dialog->controls.push_back(std::move(control));
    }
    Advance();  // END
    return true;
  }

  bool Font(DialogTemplate* dialog) {
    if (!Int(0, 0xFFFF, &dialog->fontSize) || !Expect(',') || !String(&dialog->fontFace))
      return false;
    dialog->hasFont = true;
    if (!dialog->extended) return true;
    int* const extras[] = {&dialog->fontWeight, &dialog->fontItalic, &dialog->fontCharset};
    const int64_t limits[] = {0xFFFF, 0xFF, 0xFF};
    for (int i = 0; i < 3 && IsPunct(','); ++i) {
      Advance();
      if (!Int(0, limits[i], extras[i])) return false;
    }
    return true;
  }

  bool Control(const DialogTemplate& dialog, DialogControlTemplate* control) {
    if (!String(&control->text) || !Expect(',')) return false;
    int64_t id = 0;
    if (dialog.extended) {
      if (!Integer(-2147483648LL, 0x7FFFFFFFLL, &id)) return false;
    } else {
      // 16-bit identifiers: -1 is stored, and read back, as 0xFFFF.
      if (!Integer(-32768, 0xFFFF, &id)) return false;
      id &= 0xFFFF;
    }
    control->id = static_cast<int>(id);
    if (!Expect(',')) return false;
    if (token_.kind != TokenKind::kString || token_.text.empty()) return false;
    if (!String(&control->className) || !Expect(',')) return false;
    if (!Flags(&control->style) || !Expect(',')) return false;
    if (!Coordinate(&control->x) || !Expect(',') || !Coordinate(&control->y) || !Expect(',') ||
        !Coordinate(&control->cx) || !Expect(',') || !Coordinate(&control->cy))
      return false;
    if (IsPunct(',')) {
      Advance();
      if (!Flags(&control->exStyle)) return false;
      if (IsPunct(',')) {  // help identifier
        if (!dialog.extended) return false;
        Advance();
        int64_t help = 0;
        if (!Integer(-2147483648LL, 0xFFFFFFFFLL, &help)) return false;
      }
    }
    return true;
  }

  Lexer lexer_;
  Token token_;
  WORD language_ = 0;
};

// Never destroyed: a library's unload code unregisters its script, possibly
// after this library's statics would be gone at exit.
std::map<HINSTANCE, std::unique_ptr<ResourceScript>>& Registry() {
  static auto* registry = new std::map<HINSTANCE, std::unique_ptr<ResourceScript>>;
  return *registry;
}

}  // namespace

bool ParseResourceScript(const char* text, size_t length, ResourceScript* script) {
  if (script == nullptr) return false;
  script->dialogs.clear();
  if (text == nullptr) return length == 0;  // no bytes: an empty script
  Parser parser(text, length);
  if (!parser.Parse(script)) {
    script->dialogs.clear();
    return false;
  }
  return true;
}

bool PlatformRegisterResourceScript(HINSTANCE instance, const char* text, size_t length) {
  auto script = std::make_unique<ResourceScript>();
  const bool ok = ParseResourceScript(text, length, script.get());
  Registry()[instance] = std::move(script);
  return ok;
}

void PlatformUnregisterResourceScript(HINSTANCE instance) { Registry().erase(instance); }

const DialogTemplate* FindDialogTemplate(HINSTANCE instance, LPCSTR name) {
  if (name == nullptr) return nullptr;
  const auto found = Registry().find(instance);
  if (found == Registry().end()) return nullptr;
  int id = 0;
  const uintptr_t value = reinterpret_cast<uintptr_t>(name);
  if (value <= 0xFFFF) {
    id = static_cast<int>(value);  // MAKEINTRESOURCEA
  } else if (name[0] == '#') {
    // "#101" names the numeric identifier 101.
    for (const char* p = name + 1; *p != '\0'; ++p) {
      if (*p < '0' || *p > '9' || id > 0xFFFF) return nullptr;
      id = id * 10 + (*p - '0');
    }
  } else {
    return nullptr;  // the subset has no named templates
  }
  if (id <= 0 || id > 0xFFFF) return nullptr;
  for (const DialogTemplate& dialog : found->second->dialogs)
    if (dialog.id == id) return &dialog;
  return nullptr;
}
