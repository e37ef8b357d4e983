// tarnscan-console: the live scan of the Windows system it runs on, from
// the command line, for scripts. It takes the options of the Linux
// command except --system, writes the same report and opens nothing.
#include <cstdio>
#include <iostream>

#include "app/command_line.h"
#include "app/scan_command.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/live_system.h"

using namespace tarnscan;

namespace {

const char* const kConsoleUsage =
    "usage: tarnscan-console [--out FILE] [--patterns FILE] [--plugins DIR]\n"
    "                        [--addon NAME]... [--only NAMES] [--tick NAMES] [--untick NAMES]\n"
    "                        [--as-of \"YYYY-MM-DD HH:MM:SS\"] [--encoding ansi|utf-8]\n"
    "                        [--list-options] [--quiet]\n"
    "Scans this Windows system and writes the report (default Tarnscan.Txt in the\n"
    "current folder). NAMES are comma-separated option names without their chk\n"
    "prefix (RunKeys, HKLMExplorerBHOKey, AllWinsock2, AddOns); see --list-options.\n";

// A script's scan shows nothing: the report is not opened in Notepad.
class ScriptShell final : public platform::Shell {
 public:
  explicit ScriptShell(std::unique_ptr<platform::Shell> live) : live_(std::move(live)) {}
  std::string ResolveShortcut(std::string_view lnk_path) const override {
    return live_->ResolveShortcut(lnk_path);
  }
  void Open(std::string_view, std::string_view) const override {}

 private:
  std::unique_ptr<platform::Shell> live_;
};

// --as-of: "now" fixed, file times as the system shows them.
class FixedNowClock final : public platform::Clock {
 public:
  FixedNowClock(std::unique_ptr<platform::Clock> live, platform::LocalTime now)
      : live_(std::move(live)), now_(now) {}
  platform::LocalTime Now() const override { return now_; }
  platform::LocalTime ToLocal(platform::FileTime utc) const override { return live_->ToLocal(utc); }

 private:
  std::unique_ptr<platform::Clock> live_;
  platform::LocalTime now_;
};

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

int Run(const CommandLine& line) {
  platform::System system = platform::MakeLiveSystem();
  system.shell = std::make_unique<ScriptShell>(std::move(system.shell));
  if (line.as_of) {
    system.clock = std::make_unique<FixedNowClock>(std::move(system.clock), *line.as_of);
  }
  CommandHost host;
  host.name = "tarnscan-console";
  host.program_folder = platform::ProgramFolder();
  host.plugin_files = system.files.get();
  host.plugins_folder = line.plugins_dir;
  host.plugins_shown = line.plugins_dir;
  host.report_path = platform::FullPath(line.out_file);
  host.progress_on_terminal = IsConsole(STD_ERROR_HANDLE);
  host.read_file = platform::ReadWholeFile;
  host.save_file = platform::SaveFileAtomically;
  return RunScanCommand(line, system, host);
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  const std::string problem = ParseCommandLine(argc, argv, line, /*needs_system=*/false);
  if (!problem.empty()) {
    std::cerr << "tarnscan-console: " << problem << "\n" << kConsoleUsage;
    return kExitUsage;
  }
  if (line.help) {
    std::cout << kConsoleUsage;
    return kExitCompleted;
  }
  if (line.plugins_dir.empty()) line.plugins_dir = platform::ProgramFolder() + "plugins";
  try {
    return Run(line);
  } catch (const std::exception& error) {
    std::cerr << "tarnscan-console: " << error.what() << '\n';
    return kExitScanError;
  }
}
