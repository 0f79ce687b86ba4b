// The baker's command line: the input split at zero bytes into arguments.
// Every argument list is either refused with a message of one line or accepted
// with settings the bake can run with; an accepted bake's session text
// parses.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli_options.h"
#include "fuzz_check.h"
#include "session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty() || size == 0) args.push_back(current);

  cli::BakeOptions options;
  std::string error;
  if (!cli::ParseCommandLine(args, &options, &error)) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(error.find_first_of("\r\n") == std::string::npos);
    return 0;
  }
  if (options.command != cli::Command::kBake) return 0;
  FUZZ_CHECK(!options.model.empty() || args.size() >= 2);
  FUZZ_CHECK(options.size >= 1 && options.size <= cli::MaxTextureSize());
  FUZZ_CHECK(!options.modes.empty() && options.modes.size() <= 4);
  for (const int mode : options.modes) FUZZ_CHECK(mode >= 0 && mode <= 3);
  FUZZ_CHECK(options.scale > 0.0);
  for (const int mode : options.modes) FUZZ_CHECK(!cli::OutputPath(options, mode).empty());
  // The session the baker runs is made from the options: it must always be
  // one the session runner accepts, or the bake would stop at its first line.
  const std::string session = cli::BakeSession(options);
  const host::SessionParse parsed = host::ParseSession(session);
  if (!parsed.ok()) {
    std::fprintf(stderr, "session line %d: %s\n%s\n", parsed.errors[0].line,
                 parsed.errors[0].message.c_str(), session.c_str());
  }
  FUZZ_CHECK(parsed.ok());
  return 0;
}
