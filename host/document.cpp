#include "document.h"

namespace host {

namespace {

// The log holds the names as the entry points pass them (string literals of
// this module), so that a bake over a large mesh logs a pointer per call.
// CallLog() turns the new entries into strings when it is asked.
std::vector<const char*> g_calls;
std::vector<std::string> g_callStrings;
HWND g_mainWindow = nullptr;

}  // namespace

MQDocument Handle(Document& document) { return reinterpret_cast<MQDocument>(&document); }

MQObject Handle(Object& object) { return reinterpret_cast<MQObject>(&object); }

Object& AddObject(Document& document, const std::string& name) {
  document.objects.push_back(std::make_unique<Object>());
  Object& object = *document.objects.back();
  object.name = name;
  return object;
}

const std::vector<std::string>& CallLog() {
  for (size_t i = g_callStrings.size(); i < g_calls.size(); ++i) g_callStrings.emplace_back(g_calls[i]);
  return g_callStrings;
}

void ClearCallLog() {
  g_calls.clear();
  g_callStrings.clear();
}

int CallCount(const std::string& name) {
  int count = 0;
  for (const char* call : g_calls) {
    if (name == call) ++count;
  }
  return count;
}

void SetMainWindow(HWND window) { g_mainWindow = window; }

void RecordCall(const char* name) { g_calls.push_back(name); }

HWND MainWindow() { return g_mainWindow; }

}  // namespace host
