// tarnscan-console: the live scan of the Windows system it runs on, from
// the command line, for scripts. It takes the options of the Linux
// command except --system, writes the same report and opens nothing.
#include <cstdio>
#include <iostream>

#include "app/command_line.h"
#include "main/scan_driver.h"
#include "main/startup.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/live_system.h"

using namespace tarnscan;

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitScanError = 1;
constexpr int kExitUsage = 2;

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

class Progress {
 public:
  explicit Progress(bool quiet) : quiet_(quiet), console_(IsConsole(STD_ERROR_HANDLE)) {}
  ~Progress() { Clear(); }

  void Caption(const std::string& text) { Show(text, true); }
  void Status(const std::string& text) {
    if (console_ && !text.empty()) Show(text, false);
  }
  void Clear() {
    if (!quiet_ && console_ && shown_)
      std::cerr << '\r' << std::string(79, ' ') << '\r' << std::flush;
    shown_ = false;
  }

 private:
  void Show(const std::string& text, bool is_caption) {
    if (quiet_ || text.empty()) return;
    if (console_) {
      // One console line, overwritten: the width of a standard console.
      std::string line = text.substr(0, 79);
      line.resize(79, ' ');
      std::cerr << '\r' << line << std::flush;
      shown_ = true;
    } else if (is_caption) {
      std::cerr << text << '\n';
    }
  }

  bool quiet_;
  bool console_;
  bool shown_ = false;
};

void ListOptions(const ScanOptions& options) {
  for (const auto& box : OptionBoxes()) {
    std::cout << box.name.substr(3) << '\t' << (options.Ticked(box.name) ? "ticked" : "unticked")
              << '\t'
              << (box.caption.empty() ? "Show All of " + std::string(box.show_all_of.substr(3))
                                      : std::string(box.caption))
              << '\n';
  }
  for (const auto& addon : options.AddOns()) {
    std::cout << "AddOn\t" << (addon.checked ? "ticked" : "unticked") << '\t' << addon.name << '\n';
  }
}

int Run(const CommandLine& line) {
  platform::System system = platform::MakeLiveSystem();
  system.shell = std::make_unique<ScriptShell>(std::move(system.shell));
  if (line.as_of) {
    system.clock = std::make_unique<FixedNowClock>(std::move(system.clock), *line.as_of);
  }

  ScanOptions options;
  ScanContext context(system, options);
  context.program_folder = platform::ProgramFolder();
  context.plugin_files = system.files.get();
  context.plugins_folder = line.plugins_dir;
  if (!Startup(context)) {
    std::cerr << "tarnscan-console: no plugins folder '" << line.plugins_dir
              << "': the AddOn list is empty\n";
  }
  const std::string problem = ApplyOptionChoices(line, options);
  if (!problem.empty()) {
    std::cerr << "tarnscan-console: " << problem << '\n';
    return kExitUsage;
  }
  if (line.list_options) {
    ListOptions(options);
    return kExitCompleted;
  }
  try {
    context.patterns = SplitTextLines(platform::ReadWholeFile(line.patterns_file));
  } catch (const std::exception& error) {
    std::cerr << "tarnscan-console: cannot read the patterns file '" << line.patterns_file
              << "': " << error.what() << '\n';
    return kExitUsage;
  }

  Progress progress(line.quiet);
  context.progress.caption = [&](const std::string& text) { progress.Caption(text); };
  context.progress.status = [&](const std::string& text) { progress.Status(text); };
  const std::string out = platform::FullPath(line.out_file);
  ReportTarget target{
      out, [&](const std::string& bytes) {
        platform::SaveFileAtomically(
            out, line.utf8 ? platform::Utf16ToUtf8(system.code_page->ToUtf16(bytes)) : bytes);
      }};
  const ScanResult result = RunScan(context, target);
  progress.Clear();
  if (!result.completed) {
    std::cerr << "tarnscan-console: " << result.error << '\n';
    const auto& lines = context.log.Lines();
    if (!lines.empty() && lines.back().rfind("Scan ended early", 0) == 0) {
      std::cerr << "tarnscan-console: the report so far was saved to " << out << '\n';
    }
    return kExitScanError;
  }
  std::cout << "Report written to " << out << '\n';
  return kExitCompleted;
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
