// Sessions: a small text script that drives the plug-in's modal dialog the
// way a user would, so that a whole bake invocation can run without a person.
//
// Mechanism. The host creates its main window (a registered window class with
// its own window procedure) and makes it the window MQ_GetWindowHandle
// returns; the plug-in opens its dialog owned by it. Whenever the dialog's
// message queue runs empty the dialog manager sends WM_ENTERIDLE
// (MSGF_DIALOGBOX, dialog window) to the owner, and the host's window
// procedure performs the next step there, through the ordinary Win32 calls
// only, so a session behaves the same under the stand-in platform and on
// Windows. After every step the runner posts WM_NULL to the dialog, so that
// the modal loop turns once more and reports idle again even when the step
// itself sent no message.
//
// Format: one step per line; blank lines and lines starting with '#' are
// ignored; a trailing CR is dropped. A <target> is `main` (the dialog) or a
// page, named `normal`, `shade`, `shadow`, `ao` or numbered 0 to 3 (the child
// dialogs in creation order); where it is optional it defaults to `main`, and
// a first token that names a target is always taken as one. <text> is the
// rest of the line after the control id and one space, verbatim (it may be
// empty or contain spaces).
//
//   type [target] <id> <text>        set an edit's text (WM_SETTEXT), as typing does
//   click [target] <id>              BM_CLICK; a disabled button cannot be
//                                    clicked: nothing happens and the line is
//                                    recorded in disabledClicks
//   check [target] <id> 0|1          click a check box if its state differs
//   focus [target] <id>              give a control the keyboard focus
//   tab <n>                          select tab n as a click does: TCM_SETCURSEL,
//                                    then WM_NOTIFY TCN_SELCHANGE from the tab
//                                    control to the dialog; nothing when n is
//                                    already selected
//   key enter|escape                 WM_KEYDOWN posted to the focused control
//                                    (the dialog when none has the focus)
//   close                            WM_SYSCOMMAND SC_CLOSE posted to the dialog
//   copy [target] <id> to [target] <id>   read one control's text, type it into another
//   expect [target] <id> <text>      the control's text
//   expect-enabled [target] <id> 0|1
//   expect-checked [target] <id> 0|1
//   expect-visible <page> 0|1        whether the page is shown
//   expect-tab <n>                   the selected tab
//   expect-progress <pos> <min> <max>    the progress bar
//
// Failures never stop a session: every failed expectation and every step that
// could not be carried out (a missing control or page) is recorded with its
// line number, and the session goes on. When the last step has run and the
// dialog is still open, the runner closes it with the close box and records
// that; steps left when the dialog has closed are recorded as not run.
#pragma once

#include <string>
#include <vector>

#include "shell/host_api.h"
#include "win32.h"

namespace host {

// A target of a step: the main dialog or one of its four pages.
constexpr int kSessionMain = -1;

struct SessionStep {
  enum Kind {
    kType,
    kClick,
    kCheck,
    kFocus,
    kTab,
    kKey,
    kClose,
    kCopy,
    kExpectText,
    kExpectEnabled,
    kExpectChecked,
    kExpectVisible,
    kExpectTab,
    kExpectProgress,
  };
  int line = 0;           // 1-based line of the session text
  Kind kind = kClose;
  int target = kSessionMain;  // kSessionMain or a page 0..3
  int id = 0;             // control id
  std::string text;       // type, expect
  int value = 0;          // 0|1 flags, tab index, key (VK_RETURN, VK_ESCAPE)
  int target2 = kSessionMain;  // copy: destination
  int id2 = 0;
  int progress[3] = {0, 0, 0};  // position, minimum, maximum
};

struct Session {
  std::vector<SessionStep> steps;
};

// One problem, with the 1-based line it belongs to (0: the session as a whole).
struct SessionIssue {
  int line = 0;
  std::string message;
};

struct SessionParse {
  Session session;
  std::vector<SessionIssue> errors;  // malformed lines; empty when the text parsed
  bool ok() const { return errors.empty(); }
};

// Parses a whole session text. A malformed line is reported and left out;
// the other lines still parse.
SessionParse ParseSession(const std::string& text);

// MQModifyObject as the host calls it.
typedef BOOL(MQAPI* ModifyObjectProc)(int index, MQDocument document);

// A plug-in library loaded the way the host loads one: LoadLibraryA by path,
// then its seven entry points by name.
struct PluginModule {
  HMODULE module = nullptr;
  DWORD(MQAPI* MQCheckVersion)(DWORD hostVersion) = nullptr;
  void(MQAPI* MQGetPlugInID)(DWORD* product, DWORD* id) = nullptr;
  const char*(MQAPI* MQGetPlugInName)(void) = nullptr;
  int(MQAPI* MQGetPlugInType)(void) = nullptr;
  const char*(MQAPI* MQEnumString)(int index) = nullptr;
  BOOL(MQAPI* MQInit)(const char* hostModulePath) = nullptr;
  ModifyObjectProc MQModifyObject = nullptr;
  // Whether the library was loaded and all seven entry points were found.
  bool complete() const;
};

// Loads the plug-in library at `path`; a missing library or entry point
// leaves the corresponding members null. The library stays loaded until
// UnloadPlugin.
PluginModule LoadPlugin(const char* path);
void UnloadPlugin(PluginModule& plugin);

struct SessionResult {
  BOOL returned = FALSE;                // MQModifyObject's result
  int stepsRun = 0;
  std::vector<SessionIssue> failures;   // failed expectations and runner errors, in order
  std::vector<int> disabledClicks;      // lines of clicks that met a disabled button
};

// Runs `session` around one call modify(menuIndex, document): creates the
// host's main window, makes it the window MQ_GetWindowHandle returns, calls
// the plug-in, and destroys the window again. Runs on the calling thread;
// sessions cannot be nested.
SessionResult RunSession(const Session& session, ModifyObjectProc modify, MQDocument document,
                         int menuIndex = 0);

// Told, while a bake runs, what the dialog shows: the progress bar's
// position and maximum and the elapsed-time label, each time the label is
// set (once per baked row). The runner watches the dialog's own controls by
// subclassing the label, as any host can.
typedef void (*SessionProgressObserver)(int position, int maximum, const char* elapsed, void* context);
void SetSessionProgressObserver(SessionProgressObserver observer, void* context);

// ParseSession, then RunSession when the text parsed; otherwise the parse
// errors are the failures and the plug-in is not called.
SessionResult RunSessionText(const std::string& text, ModifyObjectProc modify, MQDocument document,
                             int menuIndex = 0);

// The failures as one line each, "line N: message", for test output.
std::string DescribeIssues(const std::vector<SessionIssue>& issues);

}  // namespace host
