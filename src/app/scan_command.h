// The scan commands' common run: start-up, the option choices, the
// patterns file, the scan with its progress line, the report and the exit
// code. The Linux command and the Windows console program differ only in
// the system they scan and in how they reach their own files.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "platform/system.h"

namespace tarnscan {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitScanError = 1;
inline constexpr int kExitUsage = 2;

// What the command's home provides.
struct CommandHost {
  std::string name;            // the program's name, for its messages
  std::string program_folder;  // as the report header shows it
  const platform::FileSystem* plugin_files = nullptr;
  std::string plugins_folder;  // a folder of `plugin_files`
  std::string plugins_shown;   // the plugins folder as the user named it
  std::string report_path;     // the report's full path
  bool progress_on_terminal = false;  // stderr is a terminal
  // Reads a whole file of the machine it runs on; throws with the reason.
  std::function<std::string(const std::string& path)> read_file;
  // Replaces a file atomically; throws with the reason.
  std::function<void(const std::string& path, std::string_view bytes)> save_file;
};

int RunScanCommand(const CommandLine& line, const platform::System& system,
                   const CommandHost& host);

// --list-options: every box with its state and caption, then the AddOns.
void ListOptions(const ScanOptions& options, std::ostream& out);

}  // namespace tarnscan
