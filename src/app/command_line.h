// The options of the scan commands (tarnscan on Linux, the console program
// on Windows): which system, which sections, where the report goes.
#pragma once

#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "main/options.h"
#include "platform/clock.h"

namespace tarnscan {

extern const char* const kUsage;

struct CommandLine {
  std::string system_dir;  // --system: a system folder
  // --image: the host folder of a Windows system drive at rest.
  std::string image_root;
  std::string user;                                  // --user: a profile folder name
  std::vector<std::pair<char, std::string>> drives;  // --drive D=PATH
  bool replay_logs = true;                           // off with --no-log-replay
  std::string out_file = "Tarnscan.Txt";
  std::string patterns_file = "patterns.txt";
  std::string plugins_dir;  // empty: "plugins" beside the program
  std::vector<std::string> addons;
  std::optional<std::vector<std::string>> only;
  std::vector<std::string> tick;
  std::vector<std::string> untick;
  std::optional<platform::LocalTime> as_of;
  bool utf8 = false;
  bool list_options = false;
  bool quiet = false;
  bool help = false;
};

// Returns a message for bad usage, empty when the line is sound.
std::string ParseCommandLine(int argc, const char* const* argv, CommandLine& line,
                             bool needs_system = true);

// Applies --only, --tick, --untick and --addon to the options, in that
// order. Returns a message naming an unknown box or AddOn, else empty.
std::string ApplyOptionChoices(const CommandLine& line, ScanOptions& options);

}  // namespace tarnscan
