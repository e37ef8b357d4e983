#include "app/scan_command.h"

#include <iostream>

#include "main/scan_driver.h"
#include "main/startup.h"

namespace tarnscan {
namespace {

// One line on stderr showing the caption and status texts, overwritten in
// place on a terminal; elsewhere only the captions, one per line.
class Progress {
 public:
  Progress(bool quiet, bool terminal) : quiet_(quiet), terminal_(terminal) {}
  ~Progress() { Clear(); }

  void Caption(const std::string& text) { Show(text, true); }
  void Status(const std::string& text) {
    if (terminal_ && !text.empty()) Show(text, false);
  }
  void Clear() {
    if (!quiet_ && terminal_ && shown_) std::cerr << '\r' << std::string(kWidth, ' ') << '\r';
    std::cerr << std::flush;
    shown_ = false;
  }

 private:
  // The width of a standard console, so no line wraps.
  static constexpr size_t kWidth = 79;

  void Show(const std::string& text, bool is_caption) {
    if (quiet_ || text.empty()) return;
    if (terminal_) {
      std::string line = text.substr(0, kWidth);
      line.resize(kWidth, ' ');
      std::cerr << '\r' << line << std::flush;
      shown_ = true;
    } else if (is_caption) {
      std::cerr << text << '\n';
    }
  }

  bool quiet_;
  bool terminal_;
  bool shown_ = false;
};

}  // namespace

void ListOptions(const ScanOptions& options, std::ostream& out) {
  for (const auto& box : OptionBoxes()) {
    out << box.name.substr(3) << '\t' << (options.Ticked(box.name) ? "ticked" : "unticked") << '\t'
        << (box.caption.empty() ? "Show All of " + std::string(box.show_all_of.substr(3))
                                : std::string(box.caption))
        << '\n';
  }
  for (const auto& addon : options.AddOns()) {
    out << "AddOn\t" << (addon.checked ? "ticked" : "unticked") << '\t' << addon.name << '\n';
  }
}

int RunScanCommand(const CommandLine& line, const platform::System& system,
                   const CommandHost& host) {
  const std::string prefix = host.name + ": ";
  ScanOptions options;
  ScanContext context(system, options);
  context.program_folder = host.program_folder;
  context.plugin_files = host.plugin_files;
  context.plugins_folder = host.plugins_folder;
  // A start-up failure (a value of the wrong type in the scanned registry)
  // is shown and the steps after it are skipped, as in the window; the
  // scan still runs.
  try {
    if (!Startup(context)) {
      std::cerr << prefix << "no plugins folder '" << host.plugins_shown
                << "': the AddOn list is empty\n";
    }
  } catch (const std::exception& error) {
    std::cerr << prefix << "start-up stopped: " << error.what() << '\n';
  }
  if (const std::string problem = ApplyOptionChoices(line, options); !problem.empty()) {
    std::cerr << prefix << problem << '\n';
    return kExitUsage;
  }
  if (line.list_options) {
    ListOptions(options, std::cout);
    return kExitCompleted;
  }
  try {
    context.patterns = SplitTextLines(host.read_file(line.patterns_file));
  } catch (const std::exception& error) {
    std::cerr << prefix << "cannot read the patterns file '" << line.patterns_file
              << "': " << error.what() << '\n';
    return kExitUsage;
  }

  Progress progress(line.quiet, host.progress_on_terminal);
  context.progress.caption = [&](const std::string& text) { progress.Caption(text); };
  context.progress.status = [&](const std::string& text) { progress.Status(text); };
  const ReportTarget target{
      host.report_path, [&](const std::string& bytes) {
        host.save_file(host.report_path,
                       line.utf8 ? platform::Utf16ToUtf8(system.code_page->ToUtf16(bytes)) : bytes);
      }};
  const ScanResult result = RunScan(context, target);
  progress.Clear();
  if (!result.completed) {
    for (const auto& text : FailureLines(result, host.report_path)) {
      std::cerr << prefix << text << '\n';
    }
    return kExitScanError;
  }
  std::cout << "Report written to " << host.report_path << '\n';
  return kExitCompleted;
}

}  // namespace tarnscan
