// tamsink: the command-line baker. It is a host like any other: it loads the
// plug-in library by path, binds it to the stand-in host module, builds the
// host document from an OBJ file, and drives the plug-in's own dialog with a
// session made from its options, as a user would. It then checks every file
// it asked for, since the plug-in reports nothing.
//
// Exit status: 0 when every requested file was written and is complete, 1
// when a bake or a write failed, 2 for a wrong command line or bad input.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include "cli_options.h"
#include "document.h"
#include "obj_import.h"
#include "session.h"

namespace {

constexpr int kExitBakeFailed = 1;
constexpr int kExitUsage = 2;

#ifndef TAMSINK_VERSION
#define TAMSINK_VERSION "0.3.0"
#endif

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "tamsink: %s\n", message.c_str());
  return status;
}

// The folder of a path, "." when it has none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Where a module of this process lives, found from an address inside it.
std::string ModulePathOf(const void* address) {
#ifdef _WIN32
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCSTR>(address), &module);
  char path[4096];
  const DWORD n = GetModuleFileNameA(module, path, sizeof path);
  return std::string(path, n);
#else
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "";
  return info.dli_fname;
#endif
}

std::string ExecutableFolder() {
#ifdef _WIN32
  char path[4096];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return FolderOf(std::string(path, n));
#else
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  return FolderOf(std::string(path, static_cast<size_t>(n)));
#endif
}

#ifdef _WIN32
const char kPluginFile[] = "Tamsink.dll";
#else
const char kPluginFile[] = "Tamsink.so";
#endif

struct FileState {
  bool exists = false;
  long long size = 0;
  long long modified = 0;  // nanoseconds
};

FileState StateOf(const std::string& path) {
  FileState s;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.size = st.st_size;
#ifdef _WIN32
  s.modified = static_cast<long long>(st.st_mtime) * 1000000000LL;
#else
  s.modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
#endif
  return s;
}

bool FolderWritable(const std::string& path) {
  const std::string folder = FolderOf(path);
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
#ifdef _WIN32
  return true;
#else
  return access(folder.c_str(), W_OK) == 0;
#endif
}

uint32_t ReadLe32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Whether `path` holds a whole 24-bit BMP of size x size pixels.
bool IsCompleteBmp(const std::string& path, int32_t size, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = "was not written";
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const long long stride = (3LL * size + 3) / 4 * 4;
  const long long expected = 54 + stride * size;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if (static_cast<long long>(bytes.size()) != expected || bytes.size() < 54 || b[0] != 'B' ||
      b[1] != 'M' || ReadLe32(b + 2) != expected || ReadLe32(b + 18) != uint32_t(size) ||
      ReadLe32(b + 22) != uint32_t(size) || b[28] != 24) {
    std::ostringstream m;
    m << "is incomplete (" << bytes.size() << " bytes, expected " << expected << ")";
    *why = m.str();
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Finds the object named `which`, or numbered by it; -1 when there is none.
int FindObject(const std::vector<std::string>& names, const std::string& which) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == which) return static_cast<int>(i);
  char* end = nullptr;
  errno = 0;
  const long index = std::strtol(which.c_str(), &end, 10);
  if (errno == 0 && !which.empty() && *end == '\0' && index >= 0 &&
      index < static_cast<long>(names.size()))
    return static_cast<int>(index);
  return -1;
}

std::string NameList(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) list += (i ? ", " : "") + ("'" + names[i] + "'");
  return list.empty() ? "none" : list;
}

// The progress line on stderr, redrawn after every baked row from what the
// dialog's progress bar and label show.
struct ProgressLine {
  std::vector<int> modes;
  size_t bake = 0;
};

void ShowProgress(int position, int maximum, const char* elapsed, void* context) {
  ProgressLine& line = *static_cast<ProgressLine*>(context);
  const char* mode = line.bake < line.modes.size() ? cli::ModeName(line.modes[line.bake]) : "bake";
  constexpr int kWidth = 30;
  const int filled = maximum > 0 ? static_cast<int>(static_cast<long long>(position) * kWidth / maximum) : 0;
  std::fprintf(stderr, "\r%-6s [%.*s%*s] %d/%d rows  %s", mode, filled, "==============================",
               kWidth - filled, "", position, maximum, elapsed);
  if (position >= maximum) {
    std::fputc('\n', stderr);
    ++line.bake;
  }
  std::fflush(stderr);
}

int Bake(const cli::BakeOptions& options) {
  // The model first: bad input is reported before anything is loaded.
  host::Document document;
  std::string error;
  if (!host::ImportObj(options.model, options.scale, document, &error)) return Fail(kExitUsage, error);
  const std::vector<std::string> names = host::ObjectNames(document);
  if (names.empty()) return Fail(kExitUsage, options.model + ": the file has no objects");

  // By default the first object that has faces: exporters often open a file
  // with an empty group.
  document.currentObject = 0;
  for (size_t i = 0; i < document.objects.size(); ++i)
    if (document.objects[i] != nullptr && !document.objects[i]->faces.empty()) {
      document.currentObject = static_cast<int>(i);
      break;
    }
  if (!options.object.empty()) {
    document.currentObject = FindObject(names, options.object);
    if (document.currentObject < 0)
      return Fail(kExitUsage, options.model + ": no object '" + options.object + "' (objects: " +
                                  NameList(names) + ")");
  }
  for (const std::string& hidden : options.hide) {
    const int index = FindObject(names, hidden);
    if (index < 0)
      return Fail(kExitUsage,
                  options.model + ": no object '" + hidden + "' to hide (objects: " + NameList(names) + ")");
    document.objects[static_cast<size_t>(index)]->visible = false;
  }

  std::string sessionText;
  if (!options.session.empty()) {
    if (!ReadWholeFile(options.session, &sessionText))
      return Fail(kExitUsage, options.session + ": cannot read the session file");
    const host::SessionParse parsed = host::ParseSession(sessionText);
    if (!parsed.ok())
      return Fail(kExitUsage, options.session + ":" + std::to_string(parsed.errors[0].line) + ": " +
                                  parsed.errors[0].message);
  } else {
    for (const int mode : options.modes)
      if (!FolderWritable(cli::OutputPath(options, mode)))
        return Fail(kExitUsage, cli::OutputPath(options, mode) + ": the folder does not exist or cannot be written");
    sessionText = cli::BakeSession(options);
  }

  const std::string pluginPath =
      options.plugin.empty() ? ExecutableFolder() + "/" + kPluginFile : options.plugin;
  host::PluginModule plugin = host::LoadPlugin(pluginPath.c_str());
  if (!plugin.complete()) return Fail(kExitUsage, pluginPath + ": not a loadable Tamsink plug-in");
  if (plugin.MQGetPlugInType() != 4 || plugin.MQEnumString(0) == nullptr) {
    host::UnloadPlugin(plugin);
    return Fail(kExitUsage, pluginPath + ": not an object plug-in with a command");
  }
  const std::string hostModule = ModulePathOf(reinterpret_cast<const void*>(&host::AddObject));
  if (!plugin.MQInit(hostModule.c_str())) {
    host::UnloadPlugin(plugin);
    return Fail(kExitBakeFailed, pluginPath + ": could not bind the host module " + hostModule);
  }

  std::vector<FileState> before;
  for (const int mode : options.modes) before.push_back(StateOf(cli::OutputPath(options, mode)));

  ProgressLine progress{options.session.empty() ? options.modes : std::vector<int>{}};
  // The progress line is for a person watching a terminal.
  if (!options.quiet && isatty(fileno(stderr))) host::SetSessionProgressObserver(&ShowProgress, &progress);
  const host::SessionResult result =
      host::RunSessionText(sessionText, plugin.MQModifyObject, host::Handle(document));
  host::SetSessionProgressObserver(nullptr, nullptr);
  host::UnloadPlugin(plugin);

  int status = 0;
  for (const host::SessionIssue& issue : result.failures) {
    std::fprintf(stderr, "tamsink: session line %d: %s\n", issue.line, issue.message.c_str());
    status = kExitBakeFailed;
  }
  if (!options.session.empty()) return status != 0 ? status : (result.returned ? 0 : kExitBakeFailed);

  for (size_t i = 0; i < options.modes.size(); ++i) {
    const std::string path = cli::OutputPath(options, options.modes[i]);
    const FileState after = StateOf(path);
    std::string why;
    if (!after.exists || (before[i].exists && after.modified == before[i].modified && after.size == before[i].size)) {
      status = Fail(kExitBakeFailed, path + ": was not written");
    } else if (!IsCompleteBmp(path, options.size, &why)) {
      status = Fail(kExitBakeFailed, path + ": " + why);
    } else if (!options.quiet) {
      std::fprintf(stderr, "tamsink: wrote %s\n", path.c_str());
    }
  }
  if (status == 0 && !result.returned) status = Fail(kExitBakeFailed, "the dialog was not ended with OK");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  cli::BakeOptions options;
  std::string error;
  if (!cli::ParseCommandLine(args, &options, &error)) return Fail(kExitUsage, error);
  if (options.command == cli::Command::kHelp) {
    std::fputs(cli::UsageText().c_str(), stdout);
    return 0;
  }
  if (options.command == cli::Command::kVersion) {
    std::printf("tamsink %s\n", TAMSINK_VERSION);
    return 0;
  }
  return Bake(options);
}
