#include "session.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "document.h"

namespace host {

namespace {

// ---- parsing ----

constexpr const char* kPageNames[4] = {"normal", "shade", "shadow", "ao"};

std::string TargetName(int target) {
  return target == kSessionMain ? std::string("main") : std::string(kPageNames[target]);
}

// Whether `token` names a target; sets `target` when it does.
bool ParseTarget(const std::string& token, int* target) {
  if (token == "main") {
    *target = kSessionMain;
    return true;
  }
  for (int i = 0; i < 4; ++i) {
    if (token == kPageNames[i] || token == std::string(1, char('0' + i))) {
      *target = i;
      return true;
    }
  }
  return false;
}

bool ParseNumber(const std::string& token, int* value) {
  if (token.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(token.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < -2147483647L - 1 || parsed > 2147483647L) return false;
  *value = static_cast<int>(parsed);
  return true;
}

// Reads a line token by token; the rest of the line stays available verbatim.
class LineReader {
 public:
  explicit LineReader(const std::string& line) : line_(line) {}

  bool AtEnd() {
    SkipBlanks();
    return pos_ >= line_.size();
  }
  std::string Peek() {
    const size_t saved = pos_;
    std::string token = Next();
    pos_ = saved;
    return token;
  }
  std::string Next() {
    SkipBlanks();
    const size_t start = pos_;
    while (pos_ < line_.size() && line_[pos_] != ' ' && line_[pos_] != '\t') ++pos_;
    return line_.substr(start, pos_ - start);
  }
  // Everything after the one separating space that follows the last token.
  std::string Rest() {
    if (pos_ < line_.size()) ++pos_;
    std::string rest = line_.substr(pos_);
    pos_ = line_.size();
    return rest;
  }

 private:
  void SkipBlanks() {
    while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t')) ++pos_;
  }
  const std::string& line_;
  size_t pos_ = 0;
};

class StepParser {
 public:
  StepParser(const std::string& line, int lineNumber, std::vector<SessionIssue>* errors)
      : reader_(line), lineNumber_(lineNumber), errors_(errors) {}

  bool Parse(SessionStep* step) {
    step->line = lineNumber_;
    const std::string word = reader_.Next();
    if (word == "type" || word == "expect") {
      step->kind = word == "type" ? SessionStep::kType : SessionStep::kExpectText;
      if (!Control(&step->target, &step->id)) return false;
      step->text = reader_.Rest();
      return true;
    }
    if (word == "click" || word == "focus") {
      step->kind = word == "click" ? SessionStep::kClick : SessionStep::kFocus;
      return Control(&step->target, &step->id) && End();
    }
    if (word == "check" || word == "expect-enabled" || word == "expect-checked") {
      step->kind = word == "check"            ? SessionStep::kCheck
                   : word == "expect-enabled" ? SessionStep::kExpectEnabled
                                              : SessionStep::kExpectChecked;
      return Control(&step->target, &step->id) && Flag(&step->value) && End();
    }
    if (word == "expect-visible") {
      step->kind = SessionStep::kExpectVisible;
      const std::string token = reader_.Next();
      if (!ParseTarget(token, &step->target) || step->target == kSessionMain)
        return Fail("expected a page, found \"" + token + "\"");
      return Flag(&step->value) && End();
    }
    if (word == "tab" || word == "expect-tab") {
      step->kind = word == "tab" ? SessionStep::kTab : SessionStep::kExpectTab;
      return Number("a tab index", &step->value) && End();
    }
    if (word == "key") {
      step->kind = SessionStep::kKey;
      const std::string key = reader_.Next();
      if (key == "enter") step->value = VK_RETURN;
      else if (key == "escape") step->value = VK_ESCAPE;
      else return Fail("unknown key \"" + key + "\"");
      return End();
    }
    if (word == "close") {
      step->kind = SessionStep::kClose;
      return End();
    }
    if (word == "copy") {
      step->kind = SessionStep::kCopy;
      if (!Control(&step->target, &step->id)) return false;
      const std::string to = reader_.Next();
      if (to != "to") return Fail("expected \"to\", found \"" + to + "\"");
      return Control(&step->target2, &step->id2) && End();
    }
    if (word == "expect-progress") {
      step->kind = SessionStep::kExpectProgress;
      return Number("a position", &step->progress[0]) && Number("a minimum", &step->progress[1]) &&
             Number("a maximum", &step->progress[2]) && End();
    }
    return Fail("unknown step \"" + word + "\"");
  }

 private:
  bool Fail(const std::string& message) {
    errors_->push_back({lineNumber_, message});
    return false;
  }
  bool Number(const char* what, int* value) {
    const std::string token = reader_.Next();
    if (!ParseNumber(token, value)) return Fail(std::string("expected ") + what + ", found \"" + token + "\"");
    return true;
  }
  // [target] <id>
  bool Control(int* target, int* id) {
    *target = kSessionMain;
    int named = kSessionMain;
    if (ParseTarget(reader_.Peek(), &named)) {
      reader_.Next();
      *target = named;
    }
    return Number("a control id", id);
  }
  bool Flag(int* value) {
    const std::string token = reader_.Next();
    if (token != "0" && token != "1") return Fail("expected 0 or 1, found \"" + token + "\"");
    *value = token == "1" ? 1 : 0;
    return true;
  }
  bool End() {
    if (reader_.AtEnd()) return true;
    return Fail("unexpected \"" + reader_.Next() + "\"");
  }

  LineReader reader_;
  int lineNumber_;
  std::vector<SessionIssue>* errors_;
};

// ---- running ----

constexpr const char* kHostWindowClass = "TamsinkSessionHost";
// Idle reports tolerated after the runner's own close before it ends the
// dialog itself.
constexpr int kIdlesBeforeForcedEnd = 8;

struct Run {
  const Session* session = nullptr;
  size_t next = 0;
  HWND dialog = nullptr;
  bool closedByRunner = false;
  int idlesAfterClose = 0;
  SessionResult result;
};

// The one session running on this thread; the window procedure reaches it
// here.
Run* g_run = nullptr;

// Window class names compare without regard to ASCII case.
bool ClassIs(HWND window, const char* name) {
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  size_t i = 0;
  for (; className[i] != '\0' && name[i] != '\0'; ++i)
    if (lower(className[i]) != lower(name[i])) return false;
  return className[i] == name[i];
}

HWND FirstChildOfClass(HWND parent, const char* className) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    if (ClassIs(child, className)) return child;
  return nullptr;
}

// The page child dialogs, in creation order.
HWND Page(HWND dialog, int index) {
  int seen = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    if (ClassIs(child, "#32770") && seen++ == index) return child;
  return nullptr;
}

class StepRunner {
 public:
  StepRunner(Run& run, const SessionStep& step) : run_(run), step_(step) {}

  void Execute() {
    switch (step_.kind) {
      case SessionStep::kType:
        // What SetDlgItemTextA sends; the edit notifies its dialog of the change.
        if (HWND control = Control(step_.target, step_.id))
          SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step_.text.c_str()));
        break;
      case SessionStep::kClick:
        if (HWND control = Control(step_.target, step_.id)) Click(control);
        break;
      case SessionStep::kCheck:
        if (HWND control = Control(step_.target, step_.id)) {
          const bool checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
          if (checked != (step_.value == 1)) Click(control);
        }
        break;
      case SessionStep::kFocus:
        if (HWND control = Control(step_.target, step_.id)) SetFocus(control);
        break;
      case SessionStep::kTab:
        SelectTab();
        break;
      case SessionStep::kKey: {
        HWND focus = GetFocus();
        PostMessageA(focus != nullptr ? focus : run_.dialog, WM_KEYDOWN, static_cast<WPARAM>(step_.value), 0);
        break;
      }
      case SessionStep::kClose:
        PostMessageA(run_.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case SessionStep::kCopy:
        Copy();
        break;
      case SessionStep::kExpectText:
        ExpectText();
        break;
      case SessionStep::kExpectEnabled:
        if (HWND control = Control(step_.target, step_.id))
          ExpectState(Where(step_.target, step_.id), IsWindowEnabled(control) != FALSE, "enabled", "disabled");
        break;
      case SessionStep::kExpectChecked:
        if (HWND control = Control(step_.target, step_.id))
          ExpectState(Where(step_.target, step_.id), SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED,
                      "checked", "unchecked");
        break;
      case SessionStep::kExpectVisible:
        if (HWND page = Window(step_.target))
          ExpectState("page " + TargetName(step_.target), IsWindowVisible(page) != FALSE, "shown", "hidden");
        break;
      case SessionStep::kExpectTab:
        if (HWND tab = TabControl()) {
          const int selected = static_cast<int>(SendMessageA(tab, TCM_GETCURSEL, 0, 0));
          if (selected != step_.value)
            Fail("expected tab " + std::to_string(step_.value) + " to be selected, tab " +
                 std::to_string(selected) + " is");
        }
        break;
      case SessionStep::kExpectProgress:
        ExpectProgress();
        break;
    }
  }

 private:
  void Fail(const std::string& message) { run_.result.failures.push_back({step_.line, message}); }

  // A 0|1 expectation against the state found.
  void ExpectState(const std::string& subject, bool actual, const char* on, const char* off) {
    if (actual == (step_.value == 1)) return;
    Fail("expected " + subject + " to be " + (step_.value ? on : off) + ", it is " + (actual ? on : off));
  }

  static std::string Where(int target, int id) { return TargetName(target) + " " + std::to_string(id); }

  HWND Window(int target) {
    if (target == kSessionMain) return run_.dialog;
    HWND page = Page(run_.dialog, target);
    if (page == nullptr) Fail("no page " + TargetName(target));
    return page;
  }
  HWND Control(int target, int id) {
    HWND window = Window(target);
    if (window == nullptr) return nullptr;
    HWND control = GetDlgItem(window, id);
    if (control == nullptr) Fail("no control " + Where(target, id));
    return control;
  }

  HWND TabControl() {
    HWND tab = FirstChildOfClass(run_.dialog, "SysTabControl32");
    if (tab == nullptr) Fail("no tab control");
    return tab;
  }

  void Click(HWND control) {
    // A disabled button takes no click: the step does nothing, and says so.
    if (!IsWindowEnabled(control)) {
      run_.result.disabledClicks.push_back(step_.line);
      return;
    }
    SendMessageA(control, BM_CLICK, 0, 0);
  }

  void SelectTab() {
    HWND tab = TabControl();
    if (tab == nullptr) return;
    const int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
    if (step_.value < 0 || step_.value >= count) {
      Fail("no tab " + std::to_string(step_.value));
      return;
    }
    // Clicking the tab that is already selected changes nothing.
    if (SendMessageA(tab, TCM_GETCURSEL, 0, 0) == step_.value) return;
    SendMessageA(tab, TCM_SETCURSEL, static_cast<WPARAM>(step_.value), 0);
    NMHDR header{};
    header.hwndFrom = tab;
    header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(tab));
    header.code = TCN_SELCHANGE;
    SendMessageA(run_.dialog, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
  }

  void Copy() {
    HWND from = Control(step_.target, step_.id);
    if (from == nullptr) return;
    HWND to = Control(step_.target2, step_.id2);
    if (to == nullptr) return;
    const std::string text = Text(from);
    SendMessageA(to, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  static std::string Text(HWND control) {
    const LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::string text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    const LRESULT copied = SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                        reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
  }

  void ExpectText() {
    HWND control = Control(step_.target, step_.id);
    if (control == nullptr) return;
    const std::string text = Text(control);
    if (step_.text != text)
      Fail("expected " + Where(step_.target, step_.id) + " to read \"" + step_.text + "\", found \"" + text + "\"");
  }

  void ExpectProgress() {
    HWND bar = FirstChildOfClass(run_.dialog, "msctls_progress32");
    if (bar == nullptr) {
      Fail("no progress bar");
      return;
    }
    const int position = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
    const int minimum = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, TRUE, 0));
    const int maximum = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
    if (position != step_.progress[0] || minimum != step_.progress[1] || maximum != step_.progress[2])
      Fail("expected progress " + std::to_string(step_.progress[0]) + " in " + std::to_string(step_.progress[1]) +
           ".." + std::to_string(step_.progress[2]) + ", found " + std::to_string(position) + " in " +
           std::to_string(minimum) + ".." + std::to_string(maximum));
  }

  Run& run_;
  const SessionStep& step_;
};

SessionProgressObserver g_progressObserver = nullptr;
void* g_progressContext = nullptr;
WNDPROC g_labelProc = nullptr;
HWND g_progressBar = nullptr;

constexpr int kProgressBarId = 1019;
constexpr int kElapsedLabelId = 1021;

LRESULT CALLBACK WatchedLabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = CallWindowProcA(g_labelProc, window, message, wParam, lParam);
  if (message == WM_SETTEXT && g_progressObserver != nullptr && lParam != 0) {
    const int position = static_cast<int>(SendMessageA(g_progressBar, PBM_GETPOS, 0, 0));
    const int maximum = static_cast<int>(SendMessageA(g_progressBar, PBM_GETRANGE, FALSE, 0));
    g_progressObserver(position, maximum, reinterpret_cast<const char*>(lParam), g_progressContext);
  }
  return result;
}

void WatchProgress(HWND dialog) {
  if (g_progressObserver == nullptr) return;
  HWND label = GetDlgItem(dialog, kElapsedLabelId);
  g_progressBar = GetDlgItem(dialog, kProgressBarId);
  if (label == nullptr || g_progressBar == nullptr) return;
  g_labelProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchedLabelProc)));
}

void OnDialogIdle(Run& run, HWND dialog) {
  if (run.dialog == nullptr) {
    run.dialog = dialog;
    WatchProgress(dialog);
  }
  if (dialog != run.dialog) return;  // some other dialog of the host's

  const std::vector<SessionStep>& steps = run.session->steps;
  if (run.next < steps.size()) {
    const SessionStep& step = steps[run.next++];
    StepRunner(run, step).Execute();
    ++run.result.stepsRun;
  } else if (!run.closedByRunner) {
    run.result.failures.push_back({0, "the dialog was still open after the last step; closed with the close box"});
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    run.closedByRunner = true;
  } else if (++run.idlesAfterClose > kIdlesBeforeForcedEnd) {
    run.result.failures.push_back({0, "the dialog did not close; ended by the runner"});
    EndDialog(dialog, 0);
    return;
  }
  // Keeps the modal loop turning, so it reports idle again.
  PostMessageA(dialog, WM_NULL, 0, 0);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX && g_run != nullptr) {
    OnDialogIdle(*g_run, reinterpret_cast<HWND>(lParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HINSTANCE HostInstance() {
#ifdef _WIN32
  return GetModuleHandleA(nullptr);
#else
  return nullptr;
#endif
}

bool RegisterHostWindowClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HostWindowProc;
  windowClass.hInstance = HostInstance();
  windowClass.lpszClassName = kHostWindowClass;
  registered = RegisterClassA(&windowClass) != 0;
  return registered;
}

}  // namespace

namespace {

template <typename Proc>
void BindExport(Proc& member, HMODULE module, const char* name) {
  const FARPROC address = GetProcAddress(module, name);
  static_assert(sizeof(Proc) == sizeof(FARPROC), "function pointers differ in size");
  std::memcpy(&member, &address, sizeof member);
}

}  // namespace

bool PluginModule::complete() const {
  return module != nullptr && MQCheckVersion != nullptr && MQGetPlugInID != nullptr &&
         MQGetPlugInName != nullptr && MQGetPlugInType != nullptr && MQEnumString != nullptr &&
         MQInit != nullptr && MQModifyObject != nullptr;
}

PluginModule LoadPlugin(const char* path) {
  PluginModule plugin;
  plugin.module = LoadLibraryA(path);
  if (plugin.module == nullptr) return plugin;
#define TAMSINK_BIND_EXPORT(name) BindExport(plugin.name, plugin.module, #name)
  TAMSINK_BIND_EXPORT(MQCheckVersion);
  TAMSINK_BIND_EXPORT(MQGetPlugInID);
  TAMSINK_BIND_EXPORT(MQGetPlugInName);
  TAMSINK_BIND_EXPORT(MQGetPlugInType);
  TAMSINK_BIND_EXPORT(MQEnumString);
  TAMSINK_BIND_EXPORT(MQInit);
  TAMSINK_BIND_EXPORT(MQModifyObject);
#undef TAMSINK_BIND_EXPORT
  return plugin;
}

void UnloadPlugin(PluginModule& plugin) {
  if (plugin.module != nullptr) FreeLibrary(plugin.module);
  plugin = PluginModule{};
}

SessionParse ParseSession(const std::string& text) {
  SessionParse parse;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    SessionStep step;
    if (StepParser(line, lineNumber, &parse.errors).Parse(&step)) parse.session.steps.push_back(step);
  }
  return parse;
}

SessionResult RunSession(const Session& session, ModifyObjectProc modify, MQDocument document,
                         int menuIndex) {
  Run run;
  run.session = &session;
  if (g_run != nullptr) {
    run.result.failures.push_back({0, "a session is already running"});
    return run.result;
  }
  if (!RegisterHostWindowClass()) {
    run.result.failures.push_back({0, "the host window class could not be registered"});
    return run.result;
  }
  HWND hostWindow = CreateWindowExA(0, kHostWindowClass, "Tamsink session host", 0, 0, 0, 640, 480,
                                    nullptr, nullptr, HostInstance(), nullptr);
  if (hostWindow == nullptr) {
    run.result.failures.push_back({0, "the host window could not be created"});
    return run.result;
  }
  SetMainWindow(hostWindow);
  g_run = &run;
  run.result.returned = modify(menuIndex, document);
  g_run = nullptr;
  SetMainWindow(nullptr);
  DestroyWindow(hostWindow);

  if (run.next < session.steps.size()) {
    const char* why = run.dialog == nullptr ? "not run: no dialog was open" : "not run: the dialog had closed";
    run.result.failures.push_back({session.steps[run.next].line, why});
  }
  return run.result;
}

void SetSessionProgressObserver(SessionProgressObserver observer, void* context) {
  g_progressObserver = observer;
  g_progressContext = context;
}

SessionResult RunSessionText(const std::string& text, ModifyObjectProc modify, MQDocument document,
                             int menuIndex) {
  SessionParse parse = ParseSession(text);
  if (!parse.ok()) {
    SessionResult result;
    result.failures = parse.errors;
    return result;
  }
  return RunSession(parse.session, modify, document, menuIndex);
}

std::string DescribeIssues(const std::vector<SessionIssue>& issues) {
  std::string text;
  for (const SessionIssue& issue : issues)
    text += "line " + std::to_string(issue.line) + ": " + issue.message + "\n";
  return text;
}

}  // namespace host
