// Whole bake invocations, driven by fuzzed sessions (host/session.h): the
// fuzzer's bytes are the session text, so any text of any length is typed
// into any edit, between clicks, tab changes and keys in any order. The
// plug-in's code runs in this process, with its dialog templates registered
// the way the library registers them when it is loaded.
//
// Three kinds of step are tamed so that a run stays inside its sandbox
// folder and inside a fuzzer's time: every session first types a path in
// the sandbox, any other path typed becomes that one (keeping a leading
// asterisk and an empty path), a texture size that would be built becomes one of 1 to
// 32, and a sample count above 8 is cut down. Sizes that are refused without
// building anything (below 1, or a table over its 8 GiB limit) are typed as
// they are. After every invocation the dialog's windows are gone, its
// buffers are released, and every BMP in the folder is whole.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "bake/texel_table.h"
#include "document.h"
#include "embedded_resource_script.h"
#include "fuzz_check.h"
#include "platform_hooks.h"
#include "session.h"
#include "shell/invocation.h"
#include "shell/plugin_state.h"
#include "ui/control_text.h"

namespace {

constexpr int kPathEdit = 1000;
constexpr int kSizeEdit = 1013;
constexpr int kSamplesEdit = 1025;
constexpr size_t kMaxSteps = 64;
constexpr int32_t kLargestBuiltSize = 32;

// The folder every written file lands in, made once per run.
std::string& Sandbox() {
  static std::string folder;
  return folder;
}

std::string SandboxPath() { return Sandbox() + "/out.bmp"; }

// A stand-in for the library's instance: the templates are registered under
// it, and the dialog is created from it.
HINSTANCE FuzzInstance() {
  static int anchor;
  return reinterpret_cast<HINSTANCE>(&anchor);
}

BOOL MQAPI ModifyInProcess(int index, MQDocument document) {
  g_plugin.document = document;
  if (index != 0) return FALSE;
  return RunInvocation() ? TRUE : FALSE;
}

// The quad being baked and a roof above it, as in the dialog's own tests.
void BuildScene(host::Document& document) {
  host::Object& quad = host::AddObject(document, "quad");
  quad.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  quad.faces = {host::Face{{0, 1, 2, 3}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
                host::Face{{0, 1, 2}, {{0.2f, 0.1f}, {0.9f, 0.3f}, {0.4f, 0.8f}}}};
  host::Object& roof = host::AddObject(document, "roof");
  roof.vertices = {{-10, -10, -5}, {-10, 10, -5}, {10, 10, -5}, {10, -10, -5}};
  roof.faces = {host::Face{{0, 1, 2, 3}, {}}};
  document.currentObject = 0;
}

bool Tame(host::SessionStep& step) {
  if (step.kind == host::SessionStep::kCopy)
    return step.id2 != kPathEdit && step.id2 != kSizeEdit && step.id2 != kSamplesEdit;
  if (step.kind != host::SessionStep::kType) return true;
  if (step.id == kPathEdit) {
    if (!step.text.empty()) step.text = (step.text[0] == '*' ? "*" : "") + SandboxPath();
  } else if (step.id == kSizeEdit) {
    // The dialog reads 259 bytes of the text; so does this check.
    const int32_t size = ParseIntText(step.text.substr(0, kControlTextBytes - 1).c_str());
    const bool built = size >= 1 && uint64_t(size) * uint64_t(size) * sizeof(TexelEntry) <= kMaxTexelTableBytes;
    if (built && size > kLargestBuiltSize) step.text = std::to_string(1 + size % kLargestBuiltSize);
  } else if (step.id == kSamplesEdit) {
    const int32_t samples = ParseIntText(step.text.substr(0, kControlTextBytes - 1).c_str());
    if (samples > 8) step.text = std::to_string(samples % 9);
  }
  return true;
}

// Whether the file at `path` is a whole 24-bit BMP: its length is the
// length its header gives, for the size its header gives.
bool IsWholeBmp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const auto u32 = [&bytes](size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
  };
  const uint64_t width = u32(18), height = u32(22);
  const uint64_t stride = (3 * width + 3) / 4 * 4;
  return u32(2) == bytes.size() && 54 + stride * height == bytes.size();
}

void CheckFolder() {
  DIR* folder = opendir(Sandbox().c_str());
  FUZZ_CHECK(folder != nullptr);
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // Nothing was interrupted, so no temporary file may be left.
    FUZZ_CHECK(name.size() < 4 || name.compare(name.size() - 4, 4, ".tmp") != 0);
    if (!IsWholeBmp(Sandbox() + "/" + name)) {
      std::fprintf(stderr, "not a whole BMP: %s\n", name.c_str());
      std::abort();
    }
  }
  closedir(folder);
}

// Runs at exit: the sandbox goes with the run.
void RemoveSandbox() {
  if (DIR* folder = opendir(Sandbox().c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((Sandbox() + "/" + name).c_str());
    }
    closedir(folder);
  }
  rmdir(Sandbox().c_str());
}

bool SetUp() {
  // Every file a session writes lands in a folder of this run's own. The
  // working folder stays: libFuzzer reads its corpus by relative paths.
  char folder[] = "/tmp/tamsink-fuzz-dialog-XXXXXX";
  if (mkdtemp(folder) == nullptr) return false;
  Sandbox() = folder;
  std::atexit(RemoveSandbox);
  if (BindHostApi(g_plugin.host, TAMSINK_HOST_MODULE) != 1) return false;
  g_plugin.moduleInstance = FuzzInstance();
  return PlatformRegisterResourceScript(FuzzInstance(), kEmbeddedResourceScript, kEmbeddedResourceScriptSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = SetUp();
  FUZZ_CHECK(ready);

  host::SessionParse parsed = host::ParseSession(std::string(reinterpret_cast<const char*>(data), size));
  host::Session session;
  // The dialog opens with a relative default path; the session starts by
  // replacing it.
  host::SessionStep path;
  path.kind = host::SessionStep::kType;
  path.id = kPathEdit;
  path.text = SandboxPath();
  session.steps.push_back(path);
  for (host::SessionStep& step : parsed.session.steps) {
    if (session.steps.size() > kMaxSteps) break;
    if (Tame(step)) session.steps.push_back(step);
  }

  const int windowsBefore = PlatformLiveWindowCount();
  host::Document document;
  BuildScene(document);
  const host::SessionResult result = host::RunSession(session, &ModifyInProcess, host::Handle(document));
  if (getenv("TAMSINK_FUZZ_VERBOSE")) std::fprintf(stderr, "returned %d, %d steps, %zu disabled clicks\n%s\n", result.returned, result.stepsRun, result.disabledClicks.size(), host::DescribeIssues(result.failures).c_str());

  // The invocation is over: its windows are gone and its buffers released.
  FUZZ_CHECK(PlatformLiveWindowCount() == windowsBefore);
  FUZZ_CHECK(g_plugin.texelTable == nullptr && g_plugin.texelTableSize == 0);
  FUZZ_CHECK(g_plugin.occluders == nullptr && g_plugin.occluderCount == 0);
  FUZZ_CHECK(g_plugin.progressBar == nullptr && g_plugin.tabControl == nullptr);
  // The document's geometry is never edited.
  FUZZ_CHECK(document.objects.size() == 2 && document.objects[0]->faces.size() == 2);
  CheckFolder();
  g_plugin.document = nullptr;
  return 0;
}
