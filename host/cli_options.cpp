#include "cli_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace cli {

namespace {

const char* const kModeNames[] = {"normal", "shade", "shadow", "ao"};

// Bytes per texel: a 28-byte texel table entry and a 4-byte pixel.
constexpr double kBytesPerTexel = 32.0;
// What the baker allows the table and the image together.
constexpr double kMemoryBudget = 8.0 * 1024 * 1024 * 1024;
// The plug-in reads its path edit into a 260-byte buffer.
constexpr size_t kMaxOutputPathBytes = 259;

// Values are typed into the dialog as one session line each, so a line
// break, which strtol and strtod skip as leading white space, is refused.
bool OneLine(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

bool ParseInt(const std::string& text, long minimum, long maximum, long* value) {
  if (text.empty() || !OneLine(text)) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < minimum || v > maximum) return false;
  *value = v;
  return true;
}

bool ParseReal(const std::string& text, double* value) {
  if (text.empty() || !OneLine(text)) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

}  // namespace

const char* ModeName(int mode) { return mode >= 0 && mode < 4 ? kModeNames[mode] : "?"; }

int32_t MaxTextureSize() {
  return static_cast<int32_t>(std::floor(std::sqrt(kMemoryBudget / kBytesPerTexel)));
}

std::string UsageText() {
  return "usage: tamsink bake MODEL.obj [options]\n"
         "       tamsink --help | --version\n"
         "\n"
         "Bakes a texture of MODEL.obj's current object through the Tamsink plug-in.\n"
         "\n"
         "  --object NAME|INDEX  the object to bake (default: the first)\n"
         "  --hide NAME          hide an object: it casts nothing (repeatable)\n"
         "  --size N             texture size in texels per side (default 256)\n"
         "  --mode LIST          normal, shade, shadow, ao, comma-separated (default normal)\n"
         "  --light X,Y,Z        light direction for shade and shadow (default 0,1,0)\n"
         "  --back-faces         shade the dark side into 1..128 instead of black\n"
         "  --filter             smooth the picture with a 3 x 3 box filter\n"
         "  --samples N          AO rays per texel (default 20)\n"
         "  --distance D|auto    AO search distance; auto uses the plug-in's suggestion (default 100)\n"
         "  --spread A           AO spread angle (default 120)\n"
         "  --scale S            multiply every position on import (default 1)\n"
         "  --out PATH           output file; {mode} stands for the mode name\n"
         "                       (default: MODEL_{mode}.bmp next to the model)\n"
         "  --session FILE       run a raw dialog session instead of the options above\n"
         "  --plugin PATH        the plug-in library to load (default: the one beside tamsink)\n"
         "  --quiet              no progress display\n"
         "  --help, --version\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, BakeOptions* options,
                      std::string* error) {
  BakeOptions o;
  std::vector<std::string> positional;
  bool modesGiven = false;
  // A message is one line, whatever the value it quotes.
  const auto fail = [&](const std::string& message) {
    error->clear();
    for (const char c : message) *error += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    return false;
  };

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "-") {
      if (!arg.empty() && arg[0] == '-' && arg != "-") return fail("unknown option '" + arg + "'");
      positional.push_back(arg);
      continue;
    }
    std::string name = arg, value;
    bool hasValue = false;
    const size_t equals = arg.find('=');
    if (equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    const auto flag = [&](bool* target) {
      if (hasValue) return fail("option '" + name + "' takes no value");
      *target = true;
      return true;
    };
    const auto takeValue = [&]() {
      if (hasValue) return true;
      if (i + 1 >= args.size()) return fail("option '" + name + "' needs a value");
      value = args[++i];
      return true;
    };

    if (name == "--help") {
      o.command = Command::kHelp;
    } else if (name == "--version") {
      o.command = Command::kVersion;
    } else if (name == "--back-faces") {
      if (!flag(&o.backFaces)) return false;
    } else if (name == "--filter") {
      if (!flag(&o.filter)) return false;
    } else if (name == "--quiet") {
      if (!flag(&o.quiet)) return false;
    } else if (name == "--object" || name == "--hide" || name == "--size" || name == "--mode" ||
               name == "--light" || name == "--samples" || name == "--distance" ||
               name == "--spread" || name == "--scale" || name == "--out" ||
               name == "--session" || name == "--plugin") {
      if (!takeValue()) return false;
      if (name == "--object") {
        if (value.empty()) return fail("--object needs a name or an index");
        o.object = value;
      } else if (name == "--hide") {
        o.hide.push_back(value);
      } else if (name == "--size") {
        long size;
        if (!ParseInt(value, 1, 1L << 30, &size))
          return fail("--size must be a whole number of at least 1, not '" + value + "'");
        if (size > MaxTextureSize()) {
          std::ostringstream m;
          m << "--size " << size << " is too large: the texel table and image would need "
            << (kBytesPerTexel * double(size) * double(size) / (1024.0 * 1024 * 1024))
            << " GiB (at most " << MaxTextureSize() << " fits)";
          return fail(m.str());
        }
        o.size = static_cast<int32_t>(size);
      } else if (name == "--mode") {
        if (!modesGiven) o.modes.clear();
        modesGiven = true;
        for (const std::string& m : Split(value, ',')) {
          int mode = -1;
          for (int k = 0; k < 4; ++k)
            if (m == kModeNames[k]) mode = k;
          if (mode < 0) return fail("unknown mode '" + m + "' (modes: normal, shade, shadow, ao)");
          o.modes.push_back(mode);
        }
      } else if (name == "--light") {
        const std::vector<std::string> parts = Split(value, ',');
        double ignored;
        if (parts.size() != 3 || !ParseReal(parts[0], &ignored) || !ParseReal(parts[1], &ignored) ||
            !ParseReal(parts[2], &ignored))
          return fail("--light must be three numbers X,Y,Z, not '" + value + "'");
        for (int k = 0; k < 3; ++k) o.light[k] = parts[k];
        o.lightGiven = true;
      } else if (name == "--samples") {
        long samples;
        if (!ParseInt(value, 0, 1000000, &samples))
          return fail("--samples must be a whole number from 0 to 1000000, not '" + value + "'");
        o.samples = value;
        o.samplesGiven = true;
      } else if (name == "--distance") {
        double d;
        if (value == "auto") {
          o.distanceAuto = true;
        } else if (!ParseReal(value, &d) || d < 0) {
          return fail("--distance must be a number of at least 0 or 'auto', not '" + value + "'");
        } else {
          o.distance = value;
          o.distanceGiven = true;
        }
      } else if (name == "--spread") {
        double a;
        if (!ParseReal(value, &a)) return fail("--spread must be a number, not '" + value + "'");
        o.spread = value;
        o.spreadGiven = true;
      } else if (name == "--scale") {
        if (!ParseReal(value, &o.scale) || !(o.scale > 0))
          return fail("--scale must be a number greater than 0, not '" + value + "'");
      } else if (name == "--out") {
        if (value.empty()) return fail("--out needs a path");
        o.out = value;
      } else if (name == "--session") {
        o.session = value;
      } else {
        o.plugin = value;
      }
    } else {
      return fail("unknown option '" + name + "'");
    }
  }

  if (o.command != Command::kBake) {
    *options = o;
    return true;
  }
  if (positional.empty()) return fail("no command given (try 'tamsink --help')");
  if (positional[0] != "bake") return fail("unknown command '" + positional[0] + "' (try 'tamsink --help')");
  if (positional.size() < 2) return fail("bake needs a model file: tamsink bake MODEL.obj");
  if (positional.size() > 2) return fail("unexpected argument '" + positional[2] + "'");
  o.model = positional[1];
  if (o.modes.empty()) o.modes.push_back(0);
  if (o.modes.size() > 1 && !o.out.empty() && o.out.find("{mode}") == std::string::npos)
    return fail("--out needs a {mode} placeholder when several modes are baked");
  for (size_t a = 0; a < o.modes.size(); ++a)
    for (size_t b = a + 1; b < o.modes.size(); ++b)
      if (o.modes[a] == o.modes[b]) return fail(std::string("mode '") + ModeName(o.modes[a]) + "' given twice");
  // The path is typed into the plug-in's path edit as one session line and
  // read back from a 260-byte buffer with a leading asterisk dropped: a path
  // the edit cannot hold as it is would be written somewhere else.
  for (const int mode : o.modes) {
    const std::string path = OutputPath(o, mode);
    if (!OneLine(path)) return fail("the output path must not contain a line break");
    if (path.size() > kMaxOutputPathBytes) {
      std::ostringstream m;
      m << "the output path is " << path.size() << " bytes long; the plug-in takes at most "
        << kMaxOutputPathBytes << " (" << path.substr(0, 40) << "...)";
      return fail(m.str());
    }
    if (path[0] == '*') return fail("the output path must not start with '*', which the plug-in drops: '" + path + "'");
  }
  *options = o;
  return true;
}

std::string OutputPath(const BakeOptions& options, int mode) {
  std::string path = options.out;
  if (path.empty()) {
    std::string base = options.model;
    const size_t slash = base.find_last_of('/');
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.erase(dot);
    path = base + "_{mode}.bmp";
  }
  const std::string placeholder = "{mode}";
  for (size_t at; (at = path.find(placeholder)) != std::string::npos;)
    path.replace(at, placeholder.size(), ModeName(mode));
  return path;
}

std::string BakeSession(const BakeOptions& o) {
  std::ostringstream s;
  s << "# made by tamsink bake\n";
  s << "type 1013 " << o.size << "\n";
  s << "click 1005\n";
  s << "check main 1018 " << (o.filter ? 1 : 0) << "\n";
  s << "check shade 1017 " << (o.backFaces ? 1 : 0) << "\n";
  if (o.samplesGiven) s << "type ao 1025 " << o.samples << "\n";
  if (o.spreadGiven) s << "type ao 1024 " << o.spread << "\n";
  if (o.distanceGiven) s << "type ao 1022 " << o.distance << "\n";
  bool averaged = false;
  for (const int mode : o.modes) {
    s << "tab " << mode << "\n";
    // The dialog shows the light rounded to whole numbers and reads it back
    // from the page a bake starts on, so it is typed anew on that page right
    // before each light bake.
    if ((mode == 1 || mode == 2) && o.lightGiven) {
      const char* page = mode == 1 ? "shade" : "shadow";
      s << "type " << page << " 1002 " << o.light[0] << "\n";
      s << "type " << page << " 1008 " << o.light[1] << "\n";
      s << "type " << page << " 1009 " << o.light[2] << "\n";
    }
    if (mode == 3 && o.distanceAuto && !averaged) {
      s << "click ao 1023\n";
      averaged = true;
    }
    s << "type 1000 " << OutputPath(o, mode) << "\n";
    s << "click 1006\n";
  }
  s << "tab 0\n";
  s << "focus 1013\n";
  s << "key enter\n";
  return s.str();
}

}  // namespace cli
