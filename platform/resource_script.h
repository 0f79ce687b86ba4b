// The stand-in for a module's dialog resources: a reader for the small subset
// of the resource-script language that src/ui/Tamsink.rc uses, and the table
// of scripts registered per module instance, where DialogBoxParamA and
// CreateDialogParamA look their templates up.
//
// The subset (the same text windres compiles on Windows):
//   #pragma code_page(65001)   required before the first statement: strings
//                              are UTF-8 and are handed out as code page 932
//   #include <...>             ignored (the style names are known here)
//   LANGUAGE primary, sub      applies to the templates that follow
//   <id> DIALOG|DIALOGEX x, y, cx, cy [, helpId]
//     STYLE / EXSTYLE flags, CAPTION "text", FONT size, "face" [, weight,
//     italic, charset], LANGUAGE primary, sub
//   BEGIN (or {)
//     CONTROL "text", id, "class", flags, x, y, cx, cy [, exFlags [, helpId]]
//   END (or })
// Flags are numbers and known style names joined with |; numbers are decimal
// or 0x hexadecimal, optionally negative; comments are // and /* */.
//
// As the resource compiler does, CAPTION adds WS_CAPTION and FONT adds
// DS_SETFONT to the template's style, and a template without STYLE has
// WS_POPUP | WS_BORDER | WS_SYSMENU. Control identifiers of a DIALOG (not
// DIALOGEX) template are 16-bit, so -1 reads back as 65535, as on Windows.
//
// Failure: a script that strays from the subset in any way, including text
// that does not convert to code page 932, is rejected whole, so every template
// lookup in it fails. The reader never reads outside the given bytes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "win32.h"

#ifndef _WIN32

struct DialogControlTemplate {
  std::string className;  // as written, e.g. "EDIT", "SysTabControl32"
  std::string text;       // code page 932 bytes
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
};

struct DialogTemplate {
  int id = 0;              // resource identifier, 1 to 65535
  WORD language = 0;       // MAKELANGID(primary, sub); 0 when none was given
  bool extended = false;   // DIALOGEX
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::string caption;     // code page 932 bytes
  bool hasFont = false;
  int fontSize = 0;        // points
  std::string fontFace;    // code page 932 bytes
  int fontWeight = 0;
  int fontItalic = 0;
  int fontCharset = 0;
  std::vector<DialogControlTemplate> controls;  // template order
};

struct ResourceScript {
  std::vector<DialogTemplate> dialogs;  // script order
};

// Reads `length` bytes of script text (no bytes at all make an empty
// script). On failure returns false and leaves `script` empty.
bool ParseResourceScript(const char* text, size_t length, ResourceScript* script);

// The template `name` (MAKEINTRESOURCEA(id) or "#id") of the script
// registered for `instance`, or null. With several templates of one
// identifier the first in the script is found. The pointer stays valid until
// the instance's script is registered again or unregistered.
const DialogTemplate* FindDialogTemplate(HINSTANCE instance, LPCSTR name);

#endif
