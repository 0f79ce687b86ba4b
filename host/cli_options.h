// The command line of the baker: `tamsink bake MODEL.obj [options]`, parsed
// into plain settings, and the session text that makes the plug-in's dialog
// bake them, as a user typing and clicking would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

enum class Command { kBake, kHelp, kVersion };

struct BakeOptions {
  Command command = Command::kBake;
  std::string model;               // the OBJ file
  std::string object;              // name or index of the current object; empty: the first
  std::vector<std::string> hide;   // objects hidden from the bake
  int32_t size = 256;
  std::vector<int> modes;          // 0 normal, 1 shade, 2 shadow, 3 ao, in the order given
  bool lightGiven = false;
  std::string light[3];            // as typed, for the light edits
  bool backFaces = false;
  bool filter = false;
  bool samplesGiven = false;
  std::string samples;
  bool distanceAuto = false;
  bool distanceGiven = false;
  std::string distance;
  bool spreadGiven = false;
  std::string spread;
  double scale = 1.0;
  std::string out;                 // may hold "{mode}"; empty: next to the model
  std::string session;             // a raw session file instead of the options above
  std::string plugin;              // the plug-in library; empty: the one beside the baker
  bool quiet = false;
};

// Parses argv (without the program name). Returns false with a one-line
// message when the command line is wrong.
bool ParseCommandLine(const std::vector<std::string>& args, BakeOptions* options,
                      std::string* error);

// The mode names, by mode number.
const char* ModeName(int mode);

// The file each mode writes: `out` with "{mode}" replaced, or next to the
// model as MODEL_mode.bmp when `out` is empty.
std::string OutputPath(const BakeOptions& options, int mode);

// The session that bakes every requested mode in one invocation and ends the
// dialog with OK.
std::string BakeSession(const BakeOptions& options);

// The largest texture size whose texel table and image fit in the memory the
// baker allows itself.
int32_t MaxTextureSize();

std::string UsageText();

}  // namespace cli
